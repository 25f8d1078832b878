#include "devices/dlg_values.h"
#include <climits>
#include <cmath>
#include <cwchar>

int SecondsTextToTenths(const wchar_t* text, bool rounded) {
    double v = wcstod(text ? text : L"", nullptr);
    if (std::isnan(v)) return 0;
    v *= 10.0;
    if (rounded) v += 0.5;
    // Out of range before the conversion: negative and huge values are clamped.
    if (!(v >= 0.0)) return 0;
    if (v >= (double)INT_MAX) return INT_MAX;
    return rounded ? (int)std::floor(v) : (int)v;
}
