#include "devices/more_dialogs.h"
#include "devices/global_dlg.h"
#include "devices/serial_dlg.h"
#include "devices/rfid_dlg.h"
#include "devices/tag_edit_dlg.h"
#include "devices/io_device_dlg.h"
#include "editor/device_dialogs.h"
#include "config/device_cfg.h"

namespace {
const int kKindGlobal = 0, kKindIoBinary = 1, kKindIoOther = 2, kKindSerial = 3, kKindRfid = 6;

template <class Dlg>
INT_PTR RunOn(CDeviceCfg* dev) {
    Dlg dlg;
    dlg.m_pDevice = dev;
    return dlg.DoModal();
}
}  // namespace

INT_PTR RunMoreDeviceDialog(CWnd* parent, CDeviceCfg* dev, BOOL isNew, CDeviceCfg* chainHead) {
    if (!dev) return IDCANCEL;
    switch (dev->GetKind()) {
    case kKindGlobal: return RunOn<CGlobalDeviceDlg>(dev);
    case kKindSerial: return RunOn<CSerialDeviceDlg>(dev);
    case kKindRfid: return RunOn<CRfidDeviceDlg>(dev);
    case kKindIoBinary:
    case kKindIoOther: return RunIoDeviceDialog(parent, dev, isNew, chainHead);
    default: return IDCANCEL;
    }
}

INT_PTR RunTagEditor(CWnd*, CDeviceCfg* dev) {
    if (!dev) return IDCANCEL;
    CTagEditDlg dlg;
    dlg.m_pDevice = dev;
    return dlg.DoModal();
}

void InstallMoreDeviceDialogs() {
    SetDeviceDialogRunner(&RunMoreDeviceDialog);
    SetDeviceDialogKinds((1u << kKindGlobal) | (1u << kKindIoBinary) | (1u << kKindIoOther) | (1u << kKindSerial) |
                         (1u << kKindRfid));
    SetItemNameEditorRunner(&RunTagEditor);
}
