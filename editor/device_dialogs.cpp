#include "editor/device_dialogs.h"
#include "editor/view.h"
#include "config/device_cfg.h"
#include "devices/io_device_dlg.h"
#include "devices/global_dlg.h"
#include "devices/serial_dlg.h"
#include "devices/rfid_dlg.h"
#include "devices/tag_edit_dlg.h"
#include "devices/trcv_dlg.h"
#include "devices/radio_dlg.h"

namespace {
template <class Dlg> INT_PTR RunOn(CDeviceCfg* dev) {
    Dlg dlg;
    dlg.m_pDevice = dev;
    return dlg.DoModal();
}
}  // namespace

bool HasDeviceDialog(int kind) {
    switch (kind) {
    case kKindGlobal:
    case kKindBinaryIo:
    case kKindNetworkIo:
    case kKindSerial:
    case kKindTransceiver:
    case kKindRadioModule:
    case kKindRfid: return true;
    default: return false;
    }
}

INT_PTR RunDeviceDialog(CTamselView* view, CDeviceCfg* dev, BOOL isNew, CDeviceCfg* chainHead) {
    if (!view || !dev || !HasDeviceDialog(dev->GetKind())) return IDCANCEL;
    CTamselView::CDialogOpen open(*view);
    switch (dev->GetKind()) {
    // One case per dialog, the record handed over before the modal run.
    case kKindGlobal: return RunOn<CGlobalDeviceDlg>(dev);
    case kKindSerial: return RunOn<CSerialDeviceDlg>(dev);
    case kKindRfid: return RunOn<CRfidDeviceDlg>(dev);
    case kKindTransceiver: return RunOn<CTrcvDeviceDlg>(dev);
    case kKindRadioModule: {
        CRadioDeviceDlg dlg;
        dlg.m_pDevice = dev;
        dlg.m_pTransceivers = chainHead;
        return dlg.DoModal();
    }
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

bool HasItemNameEditor() { return true; }

INT_PTR RunItemNameEditor(CTamselView* view, CDeviceCfg* dev) {
    if (!view || !dev || !HasItemNameEditor()) return IDCANCEL;
    CTamselView::CDialogOpen open(*view);
    return RunOn<CTagEditDlg>(dev);
}
