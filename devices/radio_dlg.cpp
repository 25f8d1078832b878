#include "devices/radio_dlg.h"
#include "devices/dlg_values.h"
#include "devices/resolve_host.h"
#include "devices/trcv_dlg.h"
#include "config/device_cfg.h"
#include "framework/ErrorText.h"
#include "framework/Seams.h"
#include "framework/WinApp.h"
#include "resources/radio_ids.h"
#include <cstdlib>
#include <cwchar>

namespace {
const int kIconIndex = 5;
const UINT kHelpContext = 104;
const UINT kSocketMessage = WM_APP;
const u_short kListenPort = 8000;
const unsigned kMaxOffset = 127;
const UINT_PTR kListenTimer = 1;  // takes the next batch of telegrams
const DWORD kBatchMs = 20;        // bytes taken before the loop gets a turn
const int kChunk = 65536;
const int kTypePushButtonPtm = 9, kTypeVirtual = 10, kTypeMagnet = 12;

CString Hex8(uint32_t v) {
    CString s;
    s.Format(L"%08lX", (unsigned long)v);
    return s;
}

// The offset as typed, bounded to the up-down control's range.
unsigned OffsetText(const CWnd& dlg) {
    CString t = dlg.GetDlgItemText(IDC_RADIO_OFFSET);
    unsigned long long v = wcstoull(t, nullptr, 10);
    return v > kMaxOffset ? kMaxOffset : (unsigned)v;
}

// Input, painting or another message waits for the loop.
bool LoopHasWork() { return HIWORD(::GetQueueStatus(QS_INPUT | QS_PAINT | QS_POSTMESSAGE | QS_SENDMESSAGE)) != 0; }

}  // namespace

CRadioDeviceDlg::CRadioDeviceDlg()
    : CDeviceDialog(IDD_RADIO_DEVICE, kIconIndex, kHelpContext), m_chunk(new uint8_t[kChunk]) {}

CRadioDeviceDlg::~CRadioDeviceDlg() { CloseListenSocket(); }

void CRadioDeviceDlg::CloseListenSocket() {
    if (m_listen != INVALID_SOCKET) ::closesocket(m_listen);
    m_listen = INVALID_SOCKET;
    if (m_resting && m_hWnd) KillTimer(kListenTimer);
    m_resting = false;
    m_ended = false;
}

BOOL CRadioDeviceDlg::OnInitDialog() {
    CDeviceDialog::OnInitDialog();
    CDeviceCfg* d = m_pDevice;
    m_filling = true;
    m_pSelected = nullptr;
    HWND combo = ::GetDlgItem(m_hWnd, IDC_RADIO_TRCV);
    for (CDeviceCfg* t = m_pTransceivers; t; t = t->NextTransceiver) {
        int i = (int)::SendMessageW(combo, CB_ADDSTRING, 0, (LPARAM)(const wchar_t*)t->OpcName);
        if (i < 0) continue;
        ::SendMessageW(combo, CB_SETITEMDATA, (WPARAM)i, (LPARAM)t);
        if (t->OpcName.CompareNoCase(d->TargetHost) == 0) {
            m_pSelected = t;
        }
    }
    // Sorting moves items as they come: select the chosen record by its data.
    int n = (int)::SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i)
        if ((CDeviceCfg*)::SendMessageW(combo, CB_GETITEMDATA, (WPARAM)i, 0) == m_pSelected && m_pSelected)
            ::SendMessageW(combo, CB_SETCURSEL, (WPARAM)i, 0);
    m_openedId = (uint32_t)d->SerialNo;
    if (d->SerialNo != 0) {
        if (d->DeviceType == kTypeVirtual) {
            SetDlgItemInt(IDC_RADIO_OFFSET, m_openedId & 0x7F, FALSE);
            // The ID as stored, which OK keeps unless the user changes it.
            SetDlgItemText(IDC_RADIO_ID, Hex8(m_openedId));
        } else {
            SetDlgItemText(IDC_RADIO_ID, Hex8(m_openedId));
        }
    }
    m_idTouched = d->DeviceType != kTypeVirtual;
    int type = d->DeviceType;
    int radio = type == kTypeAnalogSensor ? IDC_RADIO_ANALOG
                : type == kTypeVirtual    ? IDC_RADIO_VIRTUAL
                : type == kTypeMagnet     ? IDC_RADIO_MAGNET
                : d->Inputs <= 2          ? IDC_RADIO_PTM200
                                          : IDC_RADIO_PTM100;
    CheckDlgButton(radio, BST_CHECKED);
    for (int r = 0; r < 3; ++r) {
        CString v;
        v.Format(L"%g", d->ScaleMin[r]);
        SetDlgItemText(IDC_RADIO_LOW0 + r, v);
        v.Format(L"%g", d->ScaleMax[r]);
        SetDlgItemText(IDC_RADIO_HIGH0 + r, v);
        CheckDlgButton(IDC_RADIO_INT0 + r, d->InputFlag[r] != 0 ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemText(IDC_RADIO_UNIT0 + r, d->Unit[r]);
    }
    SetDlgItemText(IDC_DEV_NAME, d->OpcName);
    ::SendDlgItemMessageW(m_hWnd, IDC_RADIO_OFFSET_SPIN, UDM_SETRANGE32, 0, (LPARAM)kMaxOffset);
    HWND list = ::GetDlgItem(m_hWnd, IDC_RADIO_ID_LIST);
    ListView_SetExtendedListViewStyleEx(list, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    RECT rc{};
    ::GetClientRect(list, &rc);
    CString cap0 = GetDlgItemText(IDC_RADIO_COL_ID), cap1 = GetDlgItemText(IDC_RADIO_COL_COUNT);
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.cx = (rc.right - rc.left) / 2;
    col.pszText = const_cast<wchar_t*>((const wchar_t*)cap0);
    ListView_InsertColumn(list, 0, &col);
    col.pszText = const_cast<wchar_t*>((const wchar_t*)cap1);
    ListView_InsertColumn(list, 1, &col);
    ListView_SetColumnWidth(list, 1, LVSCW_AUTOSIZE_USEHEADER);
    UpdateControls();
    m_filling = false;
    return TRUE;
}

void CRadioDeviceDlg::UpdateControls() {
    bool isVirtual = GetDlgItemCheck(IDC_RADIO_VIRTUAL);
    EnableDlgItem(IDC_RADIO_ID, !isVirtual);
    EnableDlgItem(IDC_RADIO_LISTEN, !isVirtual);
    EnableDlgItem(IDC_RADIO_ID_LIST, !isVirtual);
    EnableDlgItem(IDC_RADIO_OFFSET, isVirtual);
    EnableDlgItem(IDC_RADIO_OFFSET_SPIN, isVirtual);
    bool analog = GetDlgItemCheck(IDC_RADIO_ANALOG);
    for (int r = 0; r < 3; ++r) {
        EnableDlgItem(IDC_RADIO_LOW0 + r, analog);
        EnableDlgItem(IDC_RADIO_HIGH0 + r, analog);
        EnableDlgItem(IDC_RADIO_INT0 + r, analog);
        EnableDlgItem(IDC_RADIO_UNIT0 + r, analog);
    }
    EnableDlgItem(IDC_RADIO_NEUTRAL, analog);
    EnableDlgItem(IDC_RADIO_THERMOKON, analog);
}

BOOL CRadioDeviceDlg::OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) {
    using D = CRadioDeviceDlg;
    using R = CtrlEntry<D>;
    static constexpr R map[] = {
        R::Command<&D::UpdateControls>(BN_CLICKED, IDC_RADIO_ANALOG),
        R::Command<&D::UpdateControls>(BN_CLICKED, IDC_RADIO_PTM100),
        R::Command<&D::UpdateControls>(BN_CLICKED, IDC_RADIO_PTM200),
        R::Command<&D::UpdateControls>(BN_CLICKED, IDC_RADIO_MAGNET),
        R::Command<&D::UpdateControls>(BN_CLICKED, IDC_RADIO_VIRTUAL),
        R::Command<&D::OnListen>(BN_CLICKED, IDC_RADIO_LISTEN),
        R::Command<&D::OnOffsetChange>(EN_CHANGE, IDC_RADIO_OFFSET),
        R::Command<&D::OnTransceiverSelChange>(CBN_SELCHANGE, IDC_RADIO_TRCV),
        R::Command<&D::OnNeutral>(BN_CLICKED, IDC_RADIO_NEUTRAL),
        R::Command<&D::OnThermokon>(BN_CLICKED, IDC_RADIO_THERMOKON),
        R::Notify<&D::OnIdListItemChanged>(LVN_ITEMCHANGED, IDC_RADIO_ID_LIST),
        R::Notify<&D::OnIdListSetFocus>(NM_SETFOCUS, IDC_RADIO_ID_LIST),
    };
    return DispatchControls(this, map, code, id, nm, result) || CDeviceDialog::OnControlMap(code, id, nm, result);
}

void CRadioDeviceDlg::OnOffsetChange() {
    if (m_filling) return;
    m_idTouched = true;
    if (!m_pSelected) return;
    SetDlgItemText(IDC_RADIO_ID, Hex8(OffsetText(*this) + (uint32_t)m_pSelected->EnOceanBaseAddress));
}

void CRadioDeviceDlg::OnTransceiverSelChange() {
    int i = (int)::SendDlgItemMessageW(m_hWnd, IDC_RADIO_TRCV, CB_GETCURSEL, 0, 0);
    if (i < 0) return;
    m_pSelected = (CDeviceCfg*)::SendDlgItemMessageW(m_hWnd, IDC_RADIO_TRCV, CB_GETITEMDATA, (WPARAM)i, 0);
    if (GetDlgItemCheck(IDC_RADIO_VIRTUAL)) {
        m_idTouched = true;
        OnOffsetChange();
    }
}

LRESULT CRadioDeviceDlg::OnIdListItemChanged(NMLISTVIEW* nm) {
    if (nm && nm->iItem >= 0 && (nm->uNewState & LVIS_SELECTED)) {
        wchar_t text[32] = {};
        ListView_GetItemText(::GetDlgItem(m_hWnd, IDC_RADIO_ID_LIST), nm->iItem, 0, text,
                             (int)(sizeof text / sizeof text[0]));
        SetDlgItemText(IDC_RADIO_ID, text);
    }
    return 0;
}

LRESULT CRadioDeviceDlg::OnIdListSetFocus(NMHDR*) {
    HWND list = ::GetDlgItem(m_hWnd, IDC_RADIO_ID_LIST);
    int i = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (i >= 0) {
        wchar_t text[32] = {};
        ListView_GetItemText(list, i, 0, text, (int)(sizeof text / sizeof text[0]));
        SetDlgItemText(IDC_RADIO_ID, text);
    }
    return 0;
}

void CRadioDeviceDlg::OnNeutral() {
    for (int r = 0; r < 3; ++r) {
        SetDlgItemInt(IDC_RADIO_LOW0 + r, 0, TRUE);
        SetDlgItemInt(IDC_RADIO_HIGH0 + r, 255, TRUE);
        CheckDlgButton(IDC_RADIO_INT0 + r, BST_CHECKED);
        SetDlgItemText(IDC_RADIO_UNIT0 + r, L"");
    }
}

void CRadioDeviceDlg::OnThermokon() {
    static const wchar_t* const low[3] = {L"40", L"-1", L"9.2"};
    static const wchar_t* const high[3] = {L"0", L"1", L"-2.5"};
    static const wchar_t* const unit[3] = {L"\u00B0C", L"", L""};
    for (int r = 0; r < 3; ++r) {
        SetDlgItemText(IDC_RADIO_LOW0 + r, low[r]);
        SetDlgItemText(IDC_RADIO_HIGH0 + r, high[r]);
        CheckDlgButton(IDC_RADIO_INT0 + r, r == 2 ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemText(IDC_RADIO_UNIT0 + r, unit[r]);
    }
}

void CRadioDeviceDlg::OnListen() {
    if (IsDlgButtonChecked(IDC_RADIO_LISTEN) == BST_CHECKED) {
        CheckDlgButton(IDC_RADIO_LISTEN, BST_INDETERMINATE);
        if (OpenListenSocket()) {
            ListView_DeleteAllItems(::GetDlgItem(m_hWnd, IDC_RADIO_ID_LIST));
            ClearCounts();
        } else {
            CloseListenSocket();
            CheckDlgButton(IDC_RADIO_LISTEN, BST_UNCHECKED);
            KrvMessageBeep(MB_ICONEXCLAMATION);
        }
    } else {
        CloseListenSocket();
        CheckDlgButton(IDC_RADIO_LISTEN, BST_UNCHECKED);
    }
}

bool CRadioDeviceDlg::OpenListenSocket() {
    CloseListenSocket();
    HWND combo = ::GetDlgItem(m_hWnd, IDC_RADIO_TRCV);
    int i = (int)::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (i < 0) return false;
    auto* t = (CDeviceCfg*)::SendMessageW(combo, CB_GETITEMDATA, (WPARAM)i, 0);
    if (!t || t == (CDeviceCfg*)(LONG_PTR)CB_ERR) return false;
    uint32_t address = 0;
    if (ResolveHost(t->TargetHost, &address, 1, 1) < 1) return false;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    m_listen = s;
    if (::WSAAsyncSelect(s, m_hWnd, kSocketMessage, FD_READ | FD_CONNECT) != 0) return false;
    m_count = 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = address;
    a.sin_port = htons(kListenPort);
    ::connect(s, (const sockaddr*)&a, sizeof a);
    return true;
}

LRESULT CRadioDeviceDlg::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    // Events of a socket closed or replaced since are still queued: only the
    // current listen socket's count.
    if (msg == kSocketMessage && m_listen != INVALID_SOCKET && (SOCKET)wp == m_listen) OnSocketEvent(lp);
    return CDeviceDialog::WindowProc(msg, wp, lp);
}

void CRadioDeviceDlg::OnSocketEvent(LPARAM lp) {
    WORD event = WSAGETSELECTEVENT(lp), error = WSAGETSELECTERROR(lp);
    if (event == FD_CONNECT) {
        if (error == 0) {
            CheckDlgButton(IDC_RADIO_LISTEN, BST_CHECKED);
            return;
        }
        CString text;
        FormatSocketError(error, text);
        CheckDlgButton(IDC_RADIO_LISTEN, BST_UNCHECKED);
        CloseListenSocket();
        if (error == WSAENOTSOCK)
            KrvMessageBeep(MB_ICONEXCLAMATION);
        else
            AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // while the socket rests, the timer takes the bytes
    if (event == FD_READ && !m_resting && !m_ended) TakeTelegrams();
}

void CRadioDeviceDlg::OnTimer(UINT_PTR id) {
    if (id == kListenTimer) {
        if (m_listen != INVALID_SOCKET && m_resting)
            TakeTelegrams();
        else
            KillTimer(kListenTimer);
    }
    CDeviceDialog::OnTimer(id);
}

// A transceiver may send faster than a list can follow: the bytes are taken
// in batches of bounded time, the list updated once for each. While more
// wait and the loop has work, the socket rests and a timer (which comes
// after input and painting) takes the next batch.
void CRadioDeviceDlg::TakeTelegrams() {
    for (;;) {
        const bool more = ReceiveBatch();
        if (!more) break;
        if (LoopHasWork()) {
            if (!m_resting) {
                ::WSAAsyncSelect(m_listen, m_hWnd, 0, 0);
                SetTimer(kListenTimer, USER_TIMER_MINIMUM);
                m_resting = true;
            }
            return;
        }
    }
    if (m_resting) {
        KillTimer(kListenTimer);
        m_resting = false;
        if (!m_ended) ::WSAAsyncSelect(m_listen, m_hWnd, kSocketMessage, FD_READ);
    }
}

// One batch; true when the time ran out with bytes still waiting.
bool CRadioDeviceDlg::ReceiveBatch() {
    bool more = false;
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (::GetTickCount() - start >= kBatchMs) {
            more = true;
            break;
        }
        int n = ::recv(m_listen, (char*)m_chunk.get(), kChunk, 0);
        if (n > 0) {
            m_count = AssembleTelegrams(m_telegram, m_count, m_chunk.get(), n, [this](const uint8_t* t) {
                if (IsRadioTelegram(t)) CountModule(TelegramModuleId(t));
            });
            continue;
        }
        // An ended connection stays readable: no more events from it, the
        // box keeps its state until the user switches listening off.
        if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) {
            ::WSAAsyncSelect(m_listen, m_hWnd, 0, 0);
            m_ended = true;
        }
        break;
    }
    ShowCounts();
    return more;
}

void CRadioDeviceDlg::CountModule(uint32_t id) {
    auto at = m_moduleIndex.find(id);
    size_t i;
    if (at == m_moduleIndex.end()) {
        i = m_modules.size();
        m_modules.push_back(Module{id, 0, -1, false});
        m_moduleIndex.emplace(id, i);
    } else {
        i = at->second;
    }
    Module& m = m_modules[i];
    ++m.count;
    if (!m.changed) {
        m.changed = true;
        m_changed.push_back(i);
    }
}

// The counts of this batch into the list, painted once.
void CRadioDeviceDlg::ShowCounts() {
    if (m_changed.empty()) return;
    HWND list = ::GetDlgItem(m_hWnd, IDC_RADIO_ID_LIST);
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    bool added = false;
    for (size_t i : m_changed) {
        Module& m = m_modules[i];
        m.changed = false;
        CString n;
        n.Format(L"%d", m.count);
        if (m.row < 0) {
            CString idText = Hex8(m.id);
            LVITEMW item{};
            item.mask = LVIF_TEXT | LVIF_PARAM;
            item.iItem = ListView_GetItemCount(list);
            item.pszText = const_cast<wchar_t*>((const wchar_t*)idText);
            item.lParam = (LPARAM)m.id;
            m.row = ListView_InsertItem(list, &item);
            if (m.row < 0) continue;
            added = true;
        }
        ListView_SetItemText(list, m.row, 1, const_cast<wchar_t*>((const wchar_t*)n));
    }
    m_changed.clear();
    if (added) ListView_SetColumnWidth(list, 1, LVSCW_AUTOSIZE_USEHEADER);
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, FALSE);
}

void CRadioDeviceDlg::ClearCounts() {
    m_modules.clear();
    m_moduleIndex.clear();
    m_changed.clear();
}

void CRadioDeviceDlg::OnOK() {
    CDeviceCfg* d = m_pDevice;
    d->TargetHost = GetDlgItemText(IDC_RADIO_TRCV);
    if (GetDlgItemCheck(IDC_RADIO_ANALOG))
        d->DeviceType = kTypeAnalogSensor;
    else if (GetDlgItemCheck(IDC_RADIO_MAGNET))
        d->DeviceType = kTypeMagnet;
    else if (GetDlgItemCheck(IDC_RADIO_VIRTUAL)) {
        d->DeviceType = kTypeVirtual;
        d->Inputs = 4;
    } else {
        d->DeviceType = kTypePushButtonPtm;
        d->Inputs = GetDlgItemCheck(IDC_RADIO_PTM200) ? 2 : 4;
    }
    if (d->DeviceType == kTypeVirtual) {
        // Without a transceiver there is no base, and an ID the user did not
        // touch stays as it is (its base need not be aligned or this one's).
        if (m_idTouched && m_pSelected)
            d->SerialNo = (int)(OffsetText(*this) + (uint32_t)m_pSelected->EnOceanBaseAddress);
        else
            d->SerialNo = (int)m_openedId;
    } else {
        d->SerialNo = (int)HexTextToId(GetDlgItemText(IDC_RADIO_ID));
    }
    d->OpcName = GetDlgItemText(IDC_DEV_NAME);
    for (int r = 0; r < 3; ++r) {
        d->ScaleMin[r] = wcstod(GetDlgItemText(IDC_RADIO_LOW0 + r), nullptr);
        d->ScaleMax[r] = wcstod(GetDlgItemText(IDC_RADIO_HIGH0 + r), nullptr);
        d->InputFlag[r] = GetDlgItemCheck(IDC_RADIO_INT0 + r) ? 1 : 0;
        d->Unit[r] = GetDlgItemText(IDC_RADIO_UNIT0 + r);
    }
    CDeviceDialog::OnOK();
}
