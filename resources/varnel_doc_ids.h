// Ids of the document, the device list view and the device commands.
#pragma once

#define IDR_DEFAULT_POPUP 129  // context menu without a selection
#define IDR_DEVICE_POPUP 130   // context menu of selected devices
#define IDB_DEVICES 135        // row images

#define IDS_COLUMNS 192  // "|OPC-Name|..." column captions
#define IDS_ACTIVE_CONFIG 195
#define IDS_UNSAVED_TITLE 201
#define IDS_REPLACE_ACTIVE 208
#define IDS_QUERY_TYPE_CHANGE 209
#define IDS_OLD_FORMAT 211
#define IDS_NAME_CONFLICT 213
#define IDS_OLD_ANALOG_IN 214
#define IDS_ACTIVE_INVALID 216
#define IDS_WRONG_FORMAT 227
#define IDS_UNSAVED_REMINDER 260
#define IDS_PATH_TOO_LONG 2990
