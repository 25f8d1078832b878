// The device's reply to an upload: its text as it comes, and its judgement
// once it is whole.
#include "reconfig/cfg_write_job.h"
#include "reconfig/cfg_channel.h"
#include "resources/reconfig_ids.h"
#include <wininet.h>
#include <cwchar>

namespace {
// What one read of the reply (at most 1023 bytes) can decode to.
const int kReplyChars = 1039;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
}  // namespace

void CCfgWriteJob::AppendReplyLocked(const BYTE* bytes, DWORD count) {
    m_dwReplyTotal += count;
    if (m_nReplyCodePage < 0 || count == 0) return;
    wchar_t text[kReplyChars + 1];
    int n = MultiByteToWideChar(m_nReplyCodePage == CP_UTF8 ? CP_UTF8 : CP_ACP, 0, reinterpret_cast<const char*>(bytes),
                                (int)count, text, kReplyChars);
    if (n <= 0) return;
    text[n] = 0;
    m_strReplyText += text;  // up to its first zero character
}

void CCfgWriteJob::ParseReply() {
    m_nState = CFG_WRITE_ENDED;
    // Refused for the password: whatever the text says, it is no success.
    if (m_nHttpStatus == 0 || m_nHttpStatus == HTTP_STATUS_FORBIDDEN) {
        m_nState = CFG_WRITE_PASSWORD;
        return;
    }
    if (m_nHttpStatus == HTTP_STATUS_OK)
        m_nMessageId = IDS_JOB_UNKNOWN_REPLY;
    else if (m_nHttpStatus == HTTP_STATUS_SERVICE_UNAVAIL)
        m_nMessageId = IDS_JOB_OTHER_LOGIN;
    else
        EndLocked(IDS_JOB_HTTP_STATUS, CfgNumber(m_nHttpStatus), CFG_WRITE_ENDED);
    const CString& t = m_strReplyText;
    const int len = t.GetLength();
    if (m_nKind == CFG_KIND_JSON) {
        int err = t.Find(L"\"Error\":");
        int dialog = t.Find(L"\"Dialog\":");
        if (err >= 0) {
            if (t.Find(L"\"LPW\"", err) >= 0) {
                m_nState = CFG_WRITE_PASSWORD;
                return;
            }
            int row = t.Find(L"\"Row\":", err);
            if (row >= 0) {
                int p = row + 6;
                while (p < len && IsBlank(t[p])) ++p;
                int q = p;
                while (q < len && IsDigit(t[q])) ++q;
                m_nMessageId = IDS_JOB_BAD_ROW;
                m_strArgument = t.Mid(p, q - p);
            } else {
                m_nMessageId = IDS_JOB_BAD_PARAM;
                m_strArgument.Empty();
                int p = err + 8;
                if (p < len && t[p] == L'{') {
                    int q = p + 1;
                    while (q < len && t[q] != L'{' && t[q] != L'}' && t[q] != L':') ++q;
                    m_strArgument = t.Mid(p + 1, q - p - 1);
                }
            }
        } else if (dialog >= 0) {
            long n = wcstol(t.GetString() + dialog + 9, nullptr, 10);
            if (n == 1) {
                m_nMessageId = IDS_JOB_OTHER_LOGIN;
            } else if (n == 2 || n == 3 || n == 4 || n == 6 || n == 12) {
                m_nMessageId = IDS_JOB_NETRESET;
                m_bSuccess = TRUE;
            } else {
                m_nMessageId = IDS_JOB_JSON_DIALOG;
                m_strArgument = CfgNumber(n);
            }
        } else {
            int sess = t.Find(L"\"Sess\":");
            if (sess >= 0 && t.Find(L"\"UserType\":") >= 0) {
                // Quoted or a bare number: the value of "Sess" itself.
                int p = sess + 7;
                while (p < len && IsBlank(t[p])) ++p;
                CString id;
                bool found = false;
                if (p < len && t[p] == L'"') {
                    int q = t.Find(L'"', p + 1);
                    if (q >= 0) {
                        id = t.Mid(p + 1, q - p - 1);
                        found = true;
                    }
                } else {
                    int q = p;
                    if (q < len && t[q] == L'-') ++q;
                    while (q < len && IsDigit(t[q])) ++q;
                    if (q > p && IsDigit(t[q - 1])) {
                        id = t.Mid(p, q - p);
                        found = true;
                    }
                }
                if (found) {
                    m_strSessionId = id;
                    m_nMessageId = IDS_JOB_ACCEPTED;
                    m_bSuccess = TRUE;
                }
            }
        }
    } else {
        if (t.Find(L"<!-- netreset -->") >= 0) m_nMessageId = IDS_JOB_NETRESET;
        if (t.Find(L"Time Out Error") >= 0) m_nMessageId = IDS_JOB_NOT_CONFIG;
        int syntax = t.Find(L"Syntax");
        if (syntax >= 0) {
            int end = t.Find(L'<', syntax);
            m_strArgument = end >= 0 ? t.Mid(syntax, end - syntax) : t.Mid(syntax);
            m_nMessageId = IDS_JOB_XML_SAYS;
            bool digit = false;
            for (int i = 0; i < m_strArgument.GetLength(); ++i) digit = digit || IsDigit(m_strArgument[i]);
            if (!digit) m_bSuccess = TRUE;
        }
    }
}
