// Resource, command and string ids of Varnel's program: menus, toolbar,
// accelerators, images, the about box and the timing dialog. The framework's
// own commands and strings (ID_FILE_SAVE, AFX_IDS_...) are in framework/AfxIds.h.
#pragma once
#include "framework/AfxIds.h"

// Menu, toolbar, accelerators, icon and document strings of the main frame.
#define IDR_MAINFRAME 128
#define IDB_ABOUT 120
#define IDB_SERVICE 141  // mark of the service command in the menu
#define IDD_ABOUTBOX 100
#define IDD_TIMING 137

#define IDC_ABOUT_PRODUCT 1202
#define IDC_TIMING_LOWER 1356
#define IDC_TIMING_UPPER 1357
#define IDC_ABOUT_OWN_VERSION 1358
#define IDC_ABOUT_SERVER_VERSION 1359

// Commands (their string of the same id: "status text\ntool tip").
#define ID_VIEW_AUTOSIZE 32772
#define ID_DEVICE_NEW_SERIAL 32773
#define ID_DEVICE_NEW_IO 32774
#define ID_DEVICE_PROPERTIES 32775
#define ID_DEVICE_ENABLE 32777
#define ID_SERVICE_CONTROL 32778
#define ID_HELP_MANUAL 32780
#define ID_DEVICE_NEW_MODULE 32791
#define ID_DEVICE_NEW_TRCV 32792
#define ID_DEVICE_ITEM_NAMES 32806
#define ID_FILE_OPEN_ACTIVE 32814
#define ID_FILE_SAVE_ACTIVE 32816
#define ID_DEVICE_NEW_RFID 32819
#define ID_DEVICE_TIMING 32823
#define ID_SERVICE_STOP 32835
#define ID_DEMO_CLIENT 32838

#define IDS_SOCKETS_FAILED 225
#define IDS_TIMING_DEVICES 258  // "%d Geräte"

// Help contexts.
#define IDH_TIMING 109
