#include "devices/device_reply.h"

namespace {

// Article numbers of the web-based devices. Type indices 0 and 1 (classic
// servers, identified over their binary port) and 12 have no row.
const CProductRow kRows[] = {
    {57620, 2, 1},  {57630, 3, 0},  {57631, 3, 0},  {57632, 3, 0},  {57633, 3, 0},  {57634, 3, 0},  {57635, 3, 1},
    {57640, 4, 0},  {57650, 5, 0},  {57651, 5, 0},  {57652, 5, 1},  {57660, 6, 0},  {57670, 7, 0},  {57671, 7, 0},
    {57680, 8, 0},  {57690, 9, 0},  {57700, 10, 0}, {57710, 11, 0}, {57711, 11, 0}, {57712, 11, 0}, {57730, 13, 0},
    {57731, 13, 0}, {57740, 14, 0}, {57741, 14, 0}, {57742, 14, 0}, {57743, 14, 0}, {57744, 14, 0}, {57745, 14, 0},
    {57750, 15, 0}, {57751, 15, 0}, {57752, 15, 0}, {57760, 16, 0}, {57761, 16, 0}, {57762, 16, 0}, {57770, 17, 0},
    {57771, 17, 0}, {57772, 17, 0}, {57780, 18, 0}, {57781, 18, 0}, {57790, 19, 0}, {57791, 19, 0}, {57800, 20, 0},
    {57801, 20, 0}, {57802, 20, 0}, {57810, 21, 0}, {57811, 21, 0},
};

}  // namespace

const CProductRow* ProductRows(int& count) {
    count = static_cast<int>(sizeof(kRows) / sizeof(kRows[0]));
    return kRows;
}

bool LookupProductNumber(int32_t product, int32_t& typeIndex, int32_t& gen40) {
    gen40 = 0;
    for (const CProductRow& row : kRows) {
        if (row.product == product) {
            typeIndex = row.typeIndex;
            gen40 = row.gen40;
            return true;
        }
    }
    typeIndex = -1;
    return false;
}

bool ParseArticleNumber(const char* text, size_t len, int32_t& number) {
    size_t i = 0;
    while (i < len && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < len && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t v = 0;
    for (; i < len && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > (int64_t)INT32_MAX + 1) {
            number = -1;
            return false;
        }
    }
    if (negative) v = -v;
    if (v > INT32_MAX) {
        number = -1;
        return false;
    }
    number = (int32_t)v;
    return true;
}
