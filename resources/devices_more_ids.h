// Ids of the global options, serial device server, RFID reader and
// item-name editor dialogs.
#pragma once

#define IDD_GLOBAL_DEVICE 102
#define IDD_TAG_EDIT 103
#define IDD_SERIAL_DEVICE 105
#define IDD_RFID_DEVICE 136

// Shared by the network devices' dialogs.
#define IDC_DEV_HOST 1214
#define IDC_DEV_PORT 1215
#define IDC_DEV_PASSWORD 1216
#define IDC_DEV_NAME 1220
#define IDC_DEV_STANDARD 1336

#define IDC_GLB_IDLE_ON 1204
#define IDC_GLB_IDLE 1205
#define IDC_GLB_WATCHDOG_ON 1206
#define IDC_GLB_WATCHDOG 1207
#define IDC_GLB_UPDATE_RATE 1345

#define IDC_SER_BAUD 1139
#define IDC_SER_DATABITS 1140
#define IDC_SER_STOPBITS 1141
#define IDC_SER_PARITY 1142
#define IDC_SER_HANDSHAKE 1143
#define IDC_SER_GAP_ON 1213
#define IDC_SER_LINES_IO 1222
#define IDC_SER_GAP 1224
#define IDC_SER_END 1225
#define IDC_SER_DROP 1226
#define IDC_SER_ADD 1227

#define IDC_RFID_INTERVAL 1347
#define IDC_RFID_LOCALTIME 1348
#define IDC_RFID_IGNORE_CLOCK 1351
#define IDC_RFID_BUFFERED 1352
#define IDC_RFID_DIRECT 1353

#define IDC_TAG_TREE 1131
#define IDC_TAG_PATH 1202
