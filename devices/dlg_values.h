// Readers of values typed into the device dialogs.
#pragma once
#include "framework/String.h"
#include <windows.h>

// Seconds typed by the user, as the C library reads them, in tenths: cut
// toward zero, or rounded to the nearest tenth. Out-of-range text is clamped
// first: never below 0, at most INT_MAX tenths; "nan" reads 0.
int SecondsTextToTenths(const wchar_t* text, bool rounded);
