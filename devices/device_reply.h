// One device's answer to discovery or identification, and the article-number
// table that turns a product number into a device type.
#pragma once
#include <cstddef>
#include <cstdint>

struct CDeviceReply {
    int32_t productNumber = 0;
    int32_t typeIndex = -1;
    uint16_t httpPort = 80;
    int32_t secure = 0;
    int32_t gen40 = 0;
    int32_t fullReply = 0;
    void Reset() { *this = CDeviceReply(); }
};

// Sets gen40 to 0 first; for a known article number sets the type index (and
// gen40 for the 4.0 generation) and returns true, else type index -1, false.
bool LookupProductNumber(int32_t product, int32_t& typeIndex, int32_t& gen40);

// The decimal number at the start of the len bytes at text, read as atoi
// reads one (white space, a sign, digits; no digits: 0), without running
// past len. A number beyond 32 bits is no article: false, and -1, which the
// table does not hold, in place of a wrapped value that might.
bool ParseArticleNumber(const char* text, size_t len, int32_t& number);

// The table's rows, for tests and the device peers' fixtures.
struct CProductRow {
    int32_t product;
    int32_t typeIndex;
    int32_t gen40;
};
const CProductRow* ProductRows(int& count);
