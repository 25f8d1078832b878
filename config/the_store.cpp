// The program's configuration. Kept apart so that tests can link the model
// without constructing it.
#include "config/device_cfg.h"

// Before every other static object: the application reads the active path.
CCfgStore theCfgStore __attribute__((init_priority(101)));
