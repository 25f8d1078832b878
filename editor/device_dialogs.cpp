#include "editor/device_dialogs.h"

static DeviceDialogRunner g_deviceDialog;
static ItemNameEditorRunner g_itemEditor;

void SetDeviceDialogRunner(DeviceDialogRunner runner) { g_deviceDialog = runner; }
void SetItemNameEditorRunner(ItemNameEditorRunner runner) { g_itemEditor = runner; }
bool HasDeviceDialogs() { return g_deviceDialog != nullptr; }
bool HasDeviceDialog(int kind) { return g_deviceDialog && (kind == 1 || kind == 2); }
bool HasItemNameEditor() { return g_itemEditor != nullptr; }

INT_PTR RunDeviceDialog(CWnd* parent, CDeviceCfg* dev, BOOL isNew, CDeviceCfg* chainHead) {
    return g_deviceDialog ? g_deviceDialog(parent, dev, isNew, chainHead) : IDCANCEL;
}

INT_PTR RunItemNameEditor(CWnd* parent, CDeviceCfg* dev) {
    return g_itemEditor ? g_itemEditor(parent, dev) : IDCANCEL;
}

