// Owned handles close exactly once; error codes get their texts.
#include "framework/ErrorText.h"
#include "framework/Handle.h"
#include <gtest/gtest.h>

namespace {

bool IsOpen(HANDLE h) {
    DWORD flags;
    return GetHandleInformation(h, &flags) != FALSE;
}

}  // namespace

TEST(OwnedHandle, ClosesOnScopeResetAndMoveAssignment) {
    HANDLE a = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE b = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        OwnedHandle owner(a);
        EXPECT_TRUE(owner);
        OwnedHandle moved(std::move(owner));
        EXPECT_FALSE(owner);
        EXPECT_EQ(a, moved.get());
        EXPECT_TRUE(IsOpen(a));
        OwnedHandle other(b);
        moved = std::move(other);  // closes a, takes b
        EXPECT_FALSE(IsOpen(a));
        EXPECT_TRUE(IsOpen(b));
    }
    EXPECT_FALSE(IsOpen(b));
}

TEST(OwnedHandle, ReleaseHandsOwnershipBackAndInvalidValueIsNone) {
    HANDLE a = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        OwnedHandle owner(a);
        EXPECT_EQ(a, owner.release());
    }
    EXPECT_TRUE(IsOpen(a));
    CloseHandle(a);
    OwnedHandle none(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(none);
}

TEST(OwnedSocket, ClosedSocketIsGone) {
    WSADATA wsa;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &wsa));
    SOCKET raw;
    {
        OwnedSocket s(socket(AF_INET, SOCK_DGRAM, 0));
        ASSERT_TRUE(s);
        raw = s.get();
    }
    int type = 0, len = sizeof type;
    EXPECT_EQ(SOCKET_ERROR, getsockopt(raw, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &len));
    EXPECT_EQ(WSAENOTSOCK, WSAGetLastError());
    WSACleanup();
}

TEST(ErrorText, SocketErrorsInBracketsWithTheirShortText) {
    const struct {
        int code;
        const wchar_t* text;
    } cases[] = {
        {10061, L"[10061] Verbindung abgewiesen"},
        {10022, L"[10022] ungültiger Parameter"},
        {11001, L"[11001] Unbekannter Hostname"},
        {10065, L"[10065] Ziel ist unerreichbar"},
        {10054, L"[10054] ???"},
        {0, L"[0] ???"},
        {-1, L"[-1] ???"},
    };
    for (const auto& c : cases) {
        CString t = L"old";
        FormatSocketError(c.code, t);
        EXPECT_STREQ(c.text, t) << c.code;
    }
}

TEST(ErrorText, SystemAndWinInetTextsAreNeverEmpty) {
    EXPECT_FALSE(SystemErrorText(ERROR_ACCESS_DENIED).IsEmpty());
    EXPECT_TRUE(SystemErrorText(0x2FFFFFFF).IsEmpty());
    LoadLibraryW(L"wininet.dll");
    for (DWORD code : {12002u, 12007u, 12029u, 12031u, 12045u, 12038u})
        EXPECT_FALSE(WinInetErrorText(code).IsEmpty()) << code;
    EXPECT_STREQ(L"Fehler 12999", WinInetErrorText(12999));
}
