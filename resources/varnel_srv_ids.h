// String ids of the server control.
#pragma once

#define IDS_SRV_SAVED_TITLE 200  // "Konfigurationsdaten gespeichert"
#define IDS_SRV_RELOAD_REFUSED 212
#define IDS_SRV_STOP_QUESTION 217
#define IDS_SRV_STOP_NOTRUNNING 218
#define IDS_SRV_STOP_REFUSED 219
#define IDS_SRV_ERRORCODE 226  // "Fehlercode %d: "
#define IDS_SRV_RELOAD_ACCEPTED 256
#define IDS_SRV_RELOAD_NOTRUNNING 257
#define IDS_SRV_STOP_ACCEPTED 259
