// String ids of the configuration model.
#pragma once

// Type descriptions: IDS_TYPE_FIRST + type for the types -1 to 25 (160 is
// the global options record's text).
#define IDS_TYPE_GLOBAL 160
#define IDS_TYPE_FIRST 161
