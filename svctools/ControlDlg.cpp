#include "svctools/ControlDlg.h"
#include "svctools/Seams.h"
#include "resources/svctools_ids.h"
#include <commctrl.h>
#include <cwchar>

const wchar_t* ServiceStateText(DWORD state) {
    static const wchar_t* const texts[] = {
        L"",        L"STOPPED",          L"START_PENDING", L"STOP_PENDING",
        L"RUNNING", L"CONTINUE_PENDING", L"PAUSE_PENDING", L"PAUSED",
    };
    return state < sizeof texts / sizeof texts[0] ? texts[state] : L"";
}

CControlDlg::CControlDlg(const wchar_t* serviceName)
    : CDialog(nullptr, IDD_CONTROL), m_service(serviceName), m_lastState(-1) {}

// m_service closes its handles itself, once; the entry no longer does.
CControlDlg::~CControlDlg() = default;

BOOL CControlDlg::OnInitDialog() {
    HICON icon = LoadIconW(m_hInstance, MAKEINTRESOURCEW(IDI_TOOL));
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SetTimer(m_hWnd, PollTimerId, PollPeriod, nullptr);

    wchar_t caption[200] = {};
    GetWindowTextW(m_hWnd, caption, 200);
    size_t used = wcslen(caption);
    const wchar_t* display = m_service.GetDisplayName();
    size_t add = wcslen(display);
    if (add > 199 - used) add = 199 - used;
    wmemcpy(caption + used, display, add);
    caption[used + add] = 0;
    SetWindowTextW(m_hWnd, caption);

#ifdef KRV_TRACE_SETTINGS
    LoadTraceSettings();
#endif
    return TRUE;
}

INT_PTR CControlDlg::OnTimer(UINT_PTR) {
    UpdateStatus();
    return 1;
}

BOOL CControlDlg::OnControlMap(UINT code, UINT id, NMHDR* nm, LRESULT* result) {
    using D = CControlDlg;
    using R = CtrlEntry<D>;
    static constexpr R map[] = {
        R::Command<&D::OnStart>(BN_CLICKED, IDC_START),
        R::Command<&D::OnStop>(BN_CLICKED, IDC_STOP),
#ifdef KRV_TRACE_SETTINGS
        R::Command<&D::SaveTraceSettings>(BN_CLICKED, IDC_TRACE_ERROR, IDC_TRACE_LAST),
        R::Command<&D::SaveTraceSettings>(BN_CLICKED, IDC_TRACE_FILE),
#endif
    };
    return DispatchControls(this, map, code, id, nm, result);
}

void CControlDlg::OnStart() {
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    if (m_service.Start())
        UpdateStatus();
    else
        ShowLastError();
    SetCursor(previous);
}

void CControlDlg::OnStop() {
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    if (m_service.Stop())
        UpdateStatus();
    else
        SvcBeep(MB_ICONEXCLAMATION);
    SetCursor(previous);
}

void CControlDlg::OnSysCommand(UINT command, int, int) {
    if (command == SC_CLOSE) EndDialog(m_hWnd, IDCANCEL);
}

void CControlDlg::EnableButton(int id, bool enable) {
    HWND button = GetDlgItem(m_hWnd, id);
    // A disabled control must not keep the focus: the dialog would take no keys.
    if (!enable && GetFocus() == button) SendMessageW(m_hWnd, WM_NEXTDLGCTL, 1, 0);
    EnableWindow(button, enable);
}

void CControlDlg::UpdateStatus() {
    DWORD state = m_service.QueryState();
    if ((int)state == m_lastState) return;
    if (state == 0) {
        ShowLastError();
    } else {
        SetDlgItemTextW(m_hWnd, IDC_ERRORCODE, L"");
        SetDlgItemTextW(m_hWnd, IDC_STATUS, ServiceStateText(state));
    }
    EnableButton(IDC_START, state == SERVICE_STOPPED);
    EnableButton(IDC_STOP, state == SERVICE_RUNNING);
    m_lastState = (int)state;
}

void CControlDlg::ShowLastError() {
    DWORD code = GetLastError();
    wchar_t number[16];
    wsprintfW(number, L"%u", code);
    SetDlgItemTextW(m_hWnd, IDC_ERRORCODE, number);
    // No arguments are passed, so inserts must stay as they are.
    wchar_t text[200];
    if (FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 200,
                       nullptr))
        SetDlgItemTextW(m_hWnd, IDC_STATUS, text);
}

int RunServiceTool(const wchar_t* cmdLine) {
    InitCommonControls();
    wchar_t name[80];
    ServiceNameFromCommandLine(cmdLine, name);
    CControlDlg dialog(name);
    dialog.DoModal();
    return 0;
}
