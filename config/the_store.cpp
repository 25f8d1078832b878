// The program's configuration. Kept apart so that tests can link the model
// without constructing it.
#include "config/device_cfg.h"

CCfgStore theCfgStore;
