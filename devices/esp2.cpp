#include "devices/esp2.h"

#include <cstring>

#include "framework/Handle.h"

uint8_t TelegramChecksum(const uint8_t* telegram) {
    unsigned sum = 0;
    for (int i = 2; i <= 12; ++i) sum += telegram[i];
    return static_cast<uint8_t>(sum & 0xFF);
}

void BuildReadIdBaseCommand(uint8_t* telegram) {
    telegram[0] = kEsp2Sync1;
    telegram[1] = kEsp2Sync2;
    telegram[2] = 0xAB;  // command class, 11 bytes follow
    telegram[3] = 0x58;
    memset(telegram + 4, 0, 9);
    telegram[13] = TelegramChecksum(telegram);
}

namespace {

uint32_t BigEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           static_cast<uint32_t>(p[3]);
}

}  // namespace

bool IsBaseIdAnswer(const uint8_t* telegram) { return (telegram[2] & 0xE0) == 0x80 && telegram[3] == 0x98; }

uint32_t TelegramBaseId(const uint8_t* telegram) { return BigEndian32(telegram + 4); }

bool IsRadioTelegram(const uint8_t* telegram) { return (telegram[2] & 0xE0) == 0; }

uint32_t TelegramModuleId(const uint8_t* telegram) { return BigEndian32(telegram + 8); }

int CheckTelegram(uint8_t* telegram, int count) {
    if (count < kEsp2Size) return count < 0 ? 0 : count;
    if (telegram[0] == kEsp2Sync1 && telegram[1] == kEsp2Sync2 && TelegramChecksum(telegram) == telegram[13])
        return kEsp2Size;
    // Resynchronise at the next 0xA5; the byte after it is tested with the
    // next full buffer.
    int at = 1;
    while (at < kEsp2Size && telegram[at] != kEsp2Sync1) ++at;
    memmove(telegram, telegram + at, kEsp2Size - at);
    return kEsp2Size - at;
}

int ReceiveTelegram(SOCKET s, uint8_t* telegram, int count, bool& closed) {
    closed = false;
    // A complete telegram is the caller's to take; anything else out of
    // range would receive outside the buffer.
    if (count < 0 || count >= kEsp2Size) count = 0;
    int n = recv(s, reinterpret_cast<char*>(telegram + count), kEsp2Size - count, 0);
    if (n > 0)
        count += n;
    else if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK)
        closed = true;
    return CheckTelegram(telegram, count);
}

int ReceiveTelegram(SOCKET s, uint8_t* telegram, int count) {
    bool closed;
    return ReceiveTelegram(s, telegram, count, closed);
}

CBaseIdAnswer ExchangeBaseId(uint32_t address, uint16_t port, DWORD timeoutMs) {
    CBaseIdAnswer answer;
    OwnedSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!s) {
        answer.result = CBaseIdAnswer::NoSocket;
        return answer;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s.get(), FIONBIO, &nonBlocking);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    connect(s.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to);

    uint8_t telegram[kEsp2Size];
    int count = 0;
    bool sent = false;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        fd_set readable, writable, failed;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s.get(), &readable);
        if (!sent) {
            FD_SET(s.get(), &writable);
            FD_SET(s.get(), &failed);
        }
        timeval wait{0, 100000};
        ++answer.passes;
        if (select(0, &readable, &writable, &failed, &wait) == SOCKET_ERROR) break;
        if (FD_ISSET(s.get(), &failed)) {
            int error = 0;
            int len = sizeof error;
            getsockopt(s.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len);
            answer.result = CBaseIdAnswer::ConnectFailed;
            answer.error = error;
            return answer;
        }
        if (FD_ISSET(s.get(), &writable)) {
            uint8_t command[kEsp2Size];
            BuildReadIdBaseCommand(command);
            send(s.get(), reinterpret_cast<const char*>(command), kEsp2Size, 0);
            sent = true;
        }
        if (FD_ISSET(s.get(), &readable)) {
            bool closed;
            count = ReceiveTelegram(s.get(), telegram, count, closed);
            if (count == kEsp2Size) {
                count = 0;
                if (IsBaseIdAnswer(telegram)) {
                    answer.result = CBaseIdAnswer::Found;
                    answer.baseId = TelegramBaseId(telegram);
                    return answer;
                }
            }
            // A closed connection stays readable: waiting on would only spin.
            if (closed) break;
        }
    }
    answer.result = CBaseIdAnswer::NoAnswer;
    return answer;
}
