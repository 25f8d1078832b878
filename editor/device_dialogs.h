// The one way from the view's commands to the device property dialogs and
// the item-name editor. Those dialogs come with their own module, which
// installs its runners at start-up; until a runner is installed the commands
// that need it stay disabled.
//
//   SetDeviceDialogRunner(&RunDeviceDialogOfKind);   // devices/ at start-up
//   if (HasDeviceDialogs()) ... RunDeviceDialog(view, rec, TRUE, chain) == IDOK
#pragma once
#include <windows.h>

class CWnd;
class CDeviceCfg;

// Runs the modal dialog of dev's kind on dev; isNew only matters for the
// I/O device dialog, chainHead only for the radio module dialog. Returns
// IDOK when the user accepted (the dialog has then written dev).
using DeviceDialogRunner = INT_PTR (*)(CWnd* parent, CDeviceCfg* dev, BOOL isNew,
                                       CDeviceCfg* chainHead);
// Runs the item-name editor on dev; IDOK when accepted.
using ItemNameEditorRunner = INT_PTR (*)(CWnd* parent, CDeviceCfg* dev);

void SetDeviceDialogRunner(DeviceDialogRunner runner);
void SetItemNameEditorRunner(ItemNameEditorRunner runner);
// The kinds (bit 1 << kind) the runner has dialogs for; all until set.
void SetDeviceDialogKinds(unsigned kindMask);
bool HasDeviceDialogs();
// Whether records of this kind have a dialog.
bool HasDeviceDialog(int kind);
bool HasItemNameEditor();
// IDCANCEL when no runner is installed.
INT_PTR RunDeviceDialog(CWnd* parent, CDeviceCfg* dev, BOOL isNew, CDeviceCfg* chainHead);
INT_PTR RunItemNameEditor(CWnd* parent, CDeviceCfg* dev);
