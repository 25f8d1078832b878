// The device property dialogs and the item-name editor, reached directly
// from the view's commands. Each dialog runs on the stack with the record it
// edits; while one runs, the view's save reminder stays quiet.
//
//   if (HasDeviceDialog(dev->GetKind()))              // command update handlers
//   if (RunDeviceDialog(view, dev, TRUE, chain) == IDOK) ...   // dev written
//
// A kind's dialog is one case in RunDeviceDialog's switch plus its kind in
// HasDeviceDialog. A kind without one keeps its commands disabled.
#pragma once
#include <windows.h>

class CTamselView;
class CDeviceCfg;

bool HasDeviceDialog(int kind);

// Runs the dialog of dev's kind on dev. isNew matters to the I/O device
// dialog only, chainHead (the transceivers as BuildTransceiverChain links them)
// to the radio module dialog only. IDOK when the user accepted; IDCANCEL
// also for a kind without a dialog.
INT_PTR RunDeviceDialog(CTamselView* view, CDeviceCfg* dev, BOOL isNew, CDeviceCfg* chainHead);

bool HasItemNameEditor();
// IDOK when the user accepted the edited names.
INT_PTR RunItemNameEditor(CTamselView* view, CDeviceCfg* dev);
