// Ids of the framework's dialog test templates.
#pragma once
#define IDD_CONTROLS 200
#define IDD_RECORD 201
#define IDB_STRIP 210

#define IDC_NAME 1001
#define IDC_PORT 1002
#define IDC_SECURE 1003
#define IDC_MODE1 1004
#define IDC_MODE2 1005
#define IDC_MODE3 1006
#define IDC_HOST 1007
#define IDC_KIND 1008
#define IDC_LIST 1009
#define IDC_TREE 1010
#define IDC_PROGRESS 1011
#define IDC_RUN 1012
#define IDC_LOCKED 1013
#define IDC_END 1014
#define IDC_THROW 1015
#define IDC_EXTRA 1016
