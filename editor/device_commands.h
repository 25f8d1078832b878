// The store side of the view's device commands: unique names, the default
// name of a new device, the transceiver chain, delete and undo by
// generations, enable/disable and the old-format import. No window here:
// the view and the document call these and then show the result.
#pragma once
#include "config/device_cfg.h"
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// 1 name kept, -1 changed, 0 a global options record was merged into the
// store's one (the caller frees dev). dotsReplaced tells the caller to beep.
int MakeNameUniqueIn(CCfgStore& store, CDeviceCfg* dev, bool& dotsReplaced);

// The names of the store's devices as the file tells them apart, for
// commands that name many devices at once (paste, undo, reading a file):
// each MakeUnique answers as MakeNameUniqueIn would, without a walk over
// the whole list per device.
class CNameIndex {
public:
    // Every device of the store except `exclude`.
    explicit CNameIndex(CCfgStore& store, const CDeviceCfg* exclude = nullptr);
    ~CNameIndex();
    CNameIndex(const CNameIndex&) = delete;
    CNameIndex& operator=(const CNameIndex&) = delete;
    // As MakeNameUniqueIn; `counted` tells whether dev's present name is in
    // the index (a device of the store). The final name is counted after.
    int MakeUnique(CDeviceCfg* dev, bool counted, bool& dotsReplaced, bool replaceDots = true);

private:
    class CKeyTable;  // folded names to numbers, in a few large blocks
    CCfgStore& m_store;
    std::unique_ptr<CKeyTable> m_count;
    // Per candidate base, the first pass not yet found taken: names only
    // join the index during a batch, so a taken candidate stays taken.
    std::unique_ptr<CKeyTable> m_nextPass;
    bool FreeName(CString& name, std::wstring& key);
};

// Gives every device of the store a name of its own, in list order (the
// later one of two alike in the file is renamed) and merges repeated global
// options records, so that what was read survives a save. Names are
// otherwise left as read. Returns how many were renamed or merged.
int MakeNamesUniqueInStore(CCfgStore& store);

// Links every radio transceiver of the list to the one found before it;
// returns the last transceiver in list order (the chain's head).
CDeviceCfg* BuildTransceiverChain(CCfgStore& store);

// Steps of a new device before its dialog: the host of the last device that
// is no radio module, the chain, and a default name one above the highest
// number after the kind's prefix. For a radio module the transceiver gives
// the address; false when it is missing or no transceiver.
bool PrepareNewDevice(CCfgStore& store, CDeviceCfg* dev, CDeviceCfg* selectedTransceiver, CDeviceCfg*& chainHead);

// Deletes the given records (top-down order of their rows). With undo they
// go to the undo list under generation, which is raised once when any
// moved; without undo they are freed. Returns how many were deleted.
int DeleteRecords(CCfgStore& store, const std::vector<CDeviceCfg*>& records, bool withUndo, int& generation);

// Lowers generation and takes back every record filed under it, last
// deleted first. Empty when there is nothing to undo.
std::vector<CDeviceCfg*> TakeLatestGeneration(CCfgStore& store, int& generation);

// Enable/disable: devices of kinds 0 and 5 never change.
void SetDevicesEnabled(const std::vector<CDeviceCfg*>& records, bool enable);

// Old-format files: first line begins with "KRVD1".
bool IsOldFormatLine(const char* firstLine);

struct COldImport {
    int added = 0;
    bool hadType17 = false;
};
// Reads the lines after the first one into the store's front, then gives
// the store its global options record.
COldImport ImportOldFormat(CCfgStore& store, FILE* f);

// Reads one line as fgets with 1000 bytes does: at most 999 characters, a
// longer line goes on in the next read. False at the end of the file.
bool ReadLimitedLine(FILE* f, char (&buf)[1000]);
