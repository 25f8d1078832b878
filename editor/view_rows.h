// What a row of the device list shows and how rows sort, and the summary of
// the selection that enables the view's commands. Kept apart from the list
// control so the rules can be tested without a window.
#pragma once
#include "framework/String.h"
#include <vector>

// Port column text by device type.
CString RowPortText(int deviceType, unsigned binaryPort, unsigned httpPort, long serialNo);
// Timing column text, e.g. "0.1 .. 5 s".
CString RowTimingText(int minIntervalTicks, int maxIdleTicks);
// Index into the row images (IDB_DEVICES); disabled devices use the next image.
int RowImage(int deviceType, bool disabled);

// Sort helpers: negative, 0 or positive.
int CompareNamesNoCase(const wchar_t* a, const wchar_t* b);
int ComparePortKeys(unsigned a, unsigned b);
int CompareTiming(int minA, int maxA, int minB, int maxB);

struct CSelectedRow {
    int kind;
    bool disabled;
    bool fresh = false;  // became selected in a change of many rows at once
};

struct CSelSummary {
    int nSelected = 0;
    bool transceiver = false;  // one row, a radio transceiver
    bool toggles = false;      // holds a device that can be enabled/disabled
    bool active = true;        // the last such device selected is enabled: next use disables
    bool notGlobal = false;    // holds a row other than the global options
    bool hasItems = false;     // one row, a device with item names
};

// Built from every row selected now, top to bottom, so that deselecting
// lowers the flags again. The enabled state is that of the last device that
// became selected (one that can be enabled and disabled): with one row its
// own; with several, that of the lowest fresh one (a range is selected from
// the top down), else `active` as the single selections left it.
CSelSummary SummariseSelection(const std::vector<CSelectedRow>& rows, bool active = true);
