// Brackwell's grid of the OPC server's trace settings. The registry is the
// only store: loaded once when the dialog opens, all five values written
// after every click.
#include "svctools/ControlDlg.h"
#include "resources/svctools_ids.h"
#include "framework/Handle.h"

namespace {
const wchar_t traceKey[] = L"SOFTWARE\\Korvelin\\Pellquist Server";
// The server reads the 32-bit view; both builds of the tool must use it so that
// switching builds neither loses nor splits the settings.
const REGSAM traceView = KEY_WOW64_32KEY;
const wchar_t* const levelValues[4] = {L"TraceError", L"TraceWarning", L"TraceInfo", L"TraceDebug"};
const wchar_t fileValue[] = L"TraceFileEnable";
const int maskIds[4] = {IDC_MASK_ERROR, IDC_MASK_WARNING, IDC_MASK_INFO, IDC_MASK_DEBUG};
const int firstBoxIds[4] = {IDC_TRACE_ERROR, IDC_TRACE_WARNING, IDC_TRACE_INFO, IDC_TRACE_DEBUG};
const int rowCount = 11;
const DWORD rowBits[rowCount] = {
    0x00000001, 0x00000002, 0x00000004, 0x00000008, 0x10000000, 0x20000000,
    0x40000000, 0x80000000, 0x00000010, 0x00000200, 0x00040000,
};

// 4 bytes whatever the value's type; a value that does not fit leaves 0.
DWORD ReadNumber(HKEY key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return 0;
    return value;
}

void ShowMask(HWND dlg, int id, DWORD mask) {
    wchar_t text[16];
    wsprintfW(text, L"%08X", mask);
    SetDlgItemTextW(dlg, id, text);
}
}  // namespace

void CControlDlg::LoadTraceSettings() {
    DWORD masks[4] = {};
    DWORD file = 0;
    OwnedKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, traceKey, 0, KEY_READ | traceView, key.put()) == ERROR_SUCCESS) {
        for (int l = 0; l < 4; ++l) masks[l] = ReadNumber(key.get(), levelValues[l]);
        file = ReadNumber(key.get(), fileValue);
    }
    for (int l = 0; l < 4; ++l) {
        ShowMask(m_hWnd, maskIds[l], masks[l]);
        for (int r = 0; r < rowCount; ++r)
            CheckDlgButton(m_hWnd, firstBoxIds[l] + r, (masks[l] & rowBits[r]) ? BST_CHECKED : BST_UNCHECKED);
    }
    CheckDlgButton(m_hWnd, IDC_TRACE_FILE, file ? BST_CHECKED : BST_UNCHECKED);
}

void CControlDlg::SaveTraceSettings() {
    DWORD masks[4] = {};
    for (int l = 0; l < 4; ++l) {
        // Disabled boxes count too: their loaded state is written back.
        for (int r = 0; r < rowCount; ++r)
            if (IsDlgButtonChecked(m_hWnd, firstBoxIds[l] + r) == BST_CHECKED) masks[l] |= rowBits[r];
        ShowMask(m_hWnd, maskIds[l], masks[l]);
    }
    DWORD file = IsDlgButtonChecked(m_hWnd, IDC_TRACE_FILE) == BST_CHECKED ? 1 : 0;

    OwnedKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, traceKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | traceView,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;
    for (int l = 0; l < 4; ++l)
        RegSetValueExW(key.get(), levelValues[l], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&masks[l]),
                       sizeof(DWORD));
    RegSetValueExW(key.get(), fileValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&file), sizeof(DWORD));
}
