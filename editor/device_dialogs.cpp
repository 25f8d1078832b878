#include "editor/device_dialogs.h"
#include "editor/view.h"
#include "config/device_cfg.h"
#include "devices/io_device_dlg.h"

bool HasDeviceDialog(int kind) {
    switch (kind) {
    case kKindBinaryIo:
    case kKindNetworkIo: return true;
    default: return false;
    }
}

INT_PTR RunDeviceDialog(CTamselView* view, CDeviceCfg* dev, BOOL isNew, CDeviceCfg* chainHead) {
    if (!view || !dev || !HasDeviceDialog(dev->GetKind())) return IDCANCEL;
    CTamselView::CDialogOpen open(*view);
    switch (dev->GetKind()) {
    // One case per dialog, the record handed over before the modal run.
    case kKindBinaryIo:
    case kKindNetworkIo: {
        CIoDeviceDlg dlg(view);
        dlg.m_pDevice = dev;
        dlg.m_bNewDevice = isNew ? 1 : 0;
        return dlg.DoModal();
    }
    default: return IDCANCEL;
    }
}

bool HasItemNameEditor() {
    return false;
}

INT_PTR RunItemNameEditor(CTamselView* view, CDeviceCfg* dev) {
    if (!view || !dev || !HasItemNameEditor()) return IDCANCEL;
    CTamselView::CDialogOpen open(*view);
    return IDCANCEL;
}
