// Item-name carry-over on a type change.
#include "editor/item_carry.h"

namespace {

// Start and end of the name of entry k; false when there is no such entry.
// A missing depth digit (a dot right behind the dot, or the string's end)
// gives an empty name instead of reading past it.
bool FindEntryName(const CString& s, int k, int& begin, int& end) {
    if (k < 0) return false;
    int dot = -1;
    for (int n = 0; n <= k; ++n) {
        dot = s.Find(L'.', dot + 1);
        if (dot < 0) return false;
    }
    int len = s.GetLength();
    begin = dot + 1;
    if (begin < len && s[begin] != L'.') ++begin;  // the depth digit
    end = s.Find(L'.', begin);
    if (end < 0) end = len;
    return true;
}

bool IsGroupMarker(wchar_t c) { return c == 0x40 || c == 0x2F || c == 0x21; }

}  // namespace

void ReplaceNameComponent(const CString& source, CString& target, int s, int t) {
    int sb, se, tb, te;
    if (!FindEntryName(source, s, sb, se) || !FindEntryName(target, t, tb, te)) return;
    target = target.Left(tb) + source.Mid(sb, se - sb) + target.Mid(te);
}

BOOL CarryOverItemNames(CDeviceCfg* record, CDeviceCfg* copy) {
    CString used = copy->ItemNames;
    if (record->ItemNames == used) return FALSE;
    copy->BuildDefaultItemNames();
    CString oldDefaults = copy->ItemNames;
    if (record->ItemNames == oldDefaults) {
        // Same set of items: every name in use stays.
        record->ItemNames = used;
        copy->ItemNames = used;
        return FALSE;
    }
    if (used == oldDefaults) {
        copy->ItemNames = used;
        return FALSE;
    }
    copy->ItemNames = used;
    record->BuildKindCodes();
    copy->BuildKindCodes();
    const CString kNew = record->KindCodes;
    const CString kOld = copy->KindCodes;
    for (wchar_t c = 0x22; c <= 0x71; ++c) {
        if (c == 0x2F || c == 0x40) continue;
        int i = kOld.Find(c), j = kNew.Find(c);
        if (i < 0 || j < 0) continue;
        if (i > 0 && j > 0 && IsGroupMarker(kOld[i - 1]) && IsGroupMarker(kNew[j - 1]))
            ReplaceNameComponent(used, record->ItemNames, i - 1, j - 1);
        while (i < kOld.GetLength() && j < kNew.GetLength() && kOld[i] == c && kNew[j] == c) {
            ReplaceNameComponent(used, record->ItemNames, i, j);
            ++i;
            ++j;
        }
    }
    return TRUE;
}
