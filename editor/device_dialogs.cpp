#include "editor/device_dialogs.h"

static DeviceDialogRunner g_deviceDialog;
static ItemNameEditorRunner g_itemEditor;
static unsigned g_kinds = ~0u;

void SetDeviceDialogRunner(DeviceDialogRunner runner) { g_deviceDialog = runner; }
void SetItemNameEditorRunner(ItemNameEditorRunner runner) { g_itemEditor = runner; }
void SetDeviceDialogKinds(unsigned kindMask) { g_kinds = kindMask; }
bool HasDeviceDialogs() { return g_deviceDialog != nullptr; }
bool HasDeviceDialog(int kind) {
    return g_deviceDialog && kind >= 0 && kind < 32 && (g_kinds & (1u << kind)) != 0;
}
bool HasItemNameEditor() { return g_itemEditor != nullptr; }

INT_PTR RunDeviceDialog(CWnd* parent, CDeviceCfg* dev, BOOL isNew, CDeviceCfg* chainHead) {
    return g_deviceDialog ? g_deviceDialog(parent, dev, isNew, chainHead) : IDCANCEL;
}

INT_PTR RunItemNameEditor(CWnd* parent, CDeviceCfg* dev) {
    return g_itemEditor ? g_itemEditor(parent, dev) : IDCANCEL;
}

