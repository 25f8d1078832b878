// Carry-over of user-defined OPC item names when a device's type or counts
// change: the view's properties command resets the record's ItemNames to the
// new defaults, then calls CarryOverItemNames(record, copyFromBefore). TRUE:
// user names were involved (ask 209; Cancel restores from the copy, whose
// ItemNames then hold the old names again); FALSE: no question, final.
// Entries are matched through the kind codes (BuildKindCodes): only the first
// run of each item kind is paired, item by item, with the group heading in
// front of it. Item-name strings may come from files or the clipboard and be
// malformed; every index is bounded.
#pragma once
#include "config/device_cfg.h"

BOOL CarryOverItemNames(CDeviceCfg* record, CDeviceCfg* copy);

// Replaces the name of entry t of target by the name of entry s of source
// (entries counted from 0: a dot, a depth digit, the name up to the next dot).
// A missing entry on either side changes nothing; the depth digit stays.
void ReplaceNameComponent(const CString& source, CString& target, int s, int t);
