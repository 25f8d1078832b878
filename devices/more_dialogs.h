// Hands the view's commands the device dialogs (global options, network I/O
// devices, serial device servers, RFID readers) and the item-name editor.
#pragma once
#include <windows.h>

class CWnd;
class CDeviceCfg;

// Installs the runners; called once at start-up.
void InstallMoreDeviceDialogs();
// The dialog of dev's kind; IDCANCEL for a kind without one yet.
INT_PTR RunMoreDeviceDialog(CWnd* parent, CDeviceCfg* dev, BOOL isNew, CDeviceCfg* chainHead);
INT_PTR RunTagEditor(CWnd* parent, CDeviceCfg* dev);
