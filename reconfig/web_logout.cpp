// Closing the web session that a 4.0 device leaves open after it accepted
// an uploaded configuration without a restart.
#include "reconfig/xml_cfg_dlg.h"
#include "framework/WinApp.h"
#include <memory>

namespace {

// The whole logout, reply headers included, however slowly the device
// answers; the window keeps painting meanwhile.
const DWORD kLogoutBoundMs = 4000;

}  // namespace

std::string CXmlCfgDlg::LogoutBody(const wchar_t* sessionId) {
    // The form is declared ISO-8859-1: one byte per character, as the
    // session id came in.
    std::string body = "Sess=" + CfgLatin1(CString(sessionId ? sessionId : L"")) + "&B2.3=Abmelden";
    if (body.size() > 255) body.resize(255);
    return body;
}

void CXmlCfgDlg::Logout(const wchar_t* sessionId) {
    CWaitCursor wait;
    const DWORD secure = m_target.m_bHttps ? INTERNET_FLAG_SECURE : 0;
    // After a fallback the jobs reached the device on its default port; the
    // target's own port is then known to be dead.
    const WORD port = m_writeJob.GetFallenBack() ? m_target.DefaultPort() : m_target.m_wHttpPort;
    std::unique_ptr<CHttpConnection> connection;
    std::unique_ptr<CHttpFile> request;
    std::unique_ptr<CInternetDeadline> bound;
    try {
        if (!m_pSession) AfxThrowInternetException(0, ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        bound.reset(new CInternetDeadline(*m_pSession, kLogoutBoundMs));
        connection.reset(m_pSession->GetHttpConnection(m_target.Text(0), secure | INTERNET_FLAG_RELOAD, port));
        // A device is trusted with nothing: no redirect, cache or cookie.
        request.reset(connection->OpenRequest(L"POST", L"/config.php", nullptr, 1, nullptr, nullptr,
                                              secure | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES |
                                                  INTERNET_FLAG_NO_CACHE_WRITE));
        if (secure) {
            DWORD flags = 0;
            request->QueryOption(INTERNET_OPTION_SECURITY_FLAGS, flags);
            request->SetOption(INTERNET_OPTION_SECURITY_FLAGS,
                               flags | SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID);
        }
        const std::string body = LogoutBody(sessionId);
        request->SendRequest(L"Content-Type: application/x-www-form-urlencoded; charset=ISO-8859-1", (DWORD)-1,
                             body.data(), (DWORD)body.size());
        request->Close();
        connection->Close();
    } catch (CInternetException* e) {
        wchar_t text[200] = {};
        e->GetErrorMessage(text, 200);
        e->Delete();
        CString shown;
        shown.Format(L"WinINet error:\n%s", text);
        shown.TrimRight();
        AfxMessageBox(shown, MB_OK);
    }
}
