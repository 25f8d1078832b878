// ESP2 telegrams of an EnOcean radio transceiver over TCP: the 14-byte
// telegram, its assembly from the byte stream with checksum test and
// resynchronisation, the read-ID-base command and the base-ID exchange.
//
//   uint8_t tg[kEsp2Size]; int count = 0;          // per connection
//   count = ReceiveTelegram(s, tg, count);        // after select says readable
//   if (count == kEsp2Size) {
//       if (IsRadioTelegram(tg)) Seen(TelegramModuleId(tg));
//       count = 0;
//   }
//
//   CBaseIdAnswer a = ExchangeBaseId(address, port);   // the transceiver dialog's button
#pragma once
#include <winsock2.h>

#include <cstdint>
#include <cstring>

constexpr int kEsp2Size = 14;
constexpr uint8_t kEsp2Sync1 = 0xA5;
constexpr uint8_t kEsp2Sync2 = 0x5A;

// Low byte of the sum of bytes 2 to 12.
uint8_t TelegramChecksum(const uint8_t* telegram);

// A5 5A AB 58, nine zero bytes, checksum.
void BuildReadIdBaseCommand(uint8_t* telegram);

// Message of the transceiver (header class 100) with ORG 0x98.
bool IsBaseIdAnswer(const uint8_t* telegram);
// Bytes 4 to 7, most significant first.
uint32_t TelegramBaseId(const uint8_t* telegram);

// Radio telegram received by the transceiver (header class 000), any ORG.
bool IsRadioTelegram(const uint8_t* telegram);
// Bytes 8 to 11, most significant first.
uint32_t TelegramModuleId(const uint8_t* telegram);

// Checks a full buffer: kEsp2Size when it holds a valid telegram, otherwise
// moves the bytes from the next 0xA5 to the start and returns how many.
// A count below kEsp2Size is returned as it is.
int CheckTelegram(uint8_t* telegram, int count);

// One receive into the buffer behind the count bytes kept, then
// CheckTelegram. A count outside 0 to 13 starts an empty buffer. closed
// tells that the peer has ended the connection (or it failed), which a
// socket reported readable shows by a receive of 0 bytes.
int ReceiveTelegram(SOCKET s, uint8_t* telegram, int count, bool& closed);
int ReceiveTelegram(SOCKET s, uint8_t* telegram, int count);

// Takes n received bytes through the telegram buffer exactly as repeated
// ReceiveTelegram calls would (at most the missing bytes at a time, with
// the same resynchronisation), calling take(telegram) for every complete
// valid one. Returns the count of bytes kept for the next call.
template <class Take> int AssembleTelegrams(uint8_t* telegram, int count, const uint8_t* data, int n, Take&& take) {
    if (count < 0 || count >= kEsp2Size) count = 0;
    while (n > 0) {
        int k = kEsp2Size - count < n ? kEsp2Size - count : n;
        memcpy(telegram + count, data, static_cast<size_t>(k));
        data += k;
        n -= k;
        count = CheckTelegram(telegram, count + k);
        if (count == kEsp2Size) {
            take(static_cast<const uint8_t*>(telegram));
            count = 0;
        }
    }
    return count;
}

// Outcome of one base-ID exchange.
struct CBaseIdAnswer {
    enum Result {
        Found,          // baseId holds the answer
        NoAnswer,       // time-out, or the transceiver closed without answering
        ConnectFailed,  // error holds the socket error code
        NoSocket,       // no socket could be created
    } result = NoAnswer;
    uint32_t baseId = 0;
    int error = 0;
    int passes = 0;  // select passes made
};

// Connects to the transceiver (address in network order), sends the
// read-ID-base command once when connected and waits for the base-ID
// message, in select passes of at most 100 ms, for at most timeoutMs.
CBaseIdAnswer ExchangeBaseId(uint32_t address, uint16_t port, DWORD timeoutMs = 4000);
