// Ids of the radio transceiver and radio module dialogs.
#pragma once

#define IDD_RADIO_DEVICE 106
#define IDD_TRCV_DEVICE 107

// Shared with the other network devices' dialogs (devices_more_ids.h).
#ifndef IDC_DEV_HOST
#define IDC_DEV_HOST 1214
#define IDC_DEV_PORT 1215
#define IDC_DEV_PASSWORD 1216
#define IDC_DEV_NAME 1220
#endif

#define IDC_TRCV_DETERMINE 1235
#define IDC_TRCV_BASE_ID 1236

#define IDC_RADIO_OFFSET 1113
#define IDC_RADIO_OFFSET_SPIN 1114
#define IDC_RADIO_ID 1230
#define IDC_RADIO_ID_LIST 1231
#define IDC_RADIO_LISTEN 1232
#define IDC_RADIO_COL_ID 1233
#define IDC_RADIO_COL_COUNT 1234
#define IDC_RADIO_ANALOG 1237
#define IDC_RADIO_PTM100 1238
#define IDC_RADIO_PTM200 1239
#define IDC_RADIO_MAGNET 1240
#define IDC_RADIO_VIRTUAL 1242
#define IDC_RADIO_TRCV 1243
#define IDC_RADIO_NEUTRAL 1245
#define IDC_RADIO_THERMOKON 1246
#define IDC_RADIO_LOW0 1247
#define IDC_RADIO_HIGH0 1250
#define IDC_RADIO_INT0 1253
#define IDC_RADIO_UNIT0 1256
