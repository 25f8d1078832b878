#include "editor/doc_names.h"
#include <gtest/gtest.h>
#include <set>

namespace {

// A list of names as the store would hold them, compared with A-Z folded.
struct Taken {
    std::vector<CString> names;
    bool operator()(const CString& n) const {
        for (const CString& s : names)
            if (s.CompareNoCase(n) == 0) return true;
        return false;
    }
};

struct UniqueCase {
    const wchar_t* name;
    std::vector<const wchar_t*> others;
    const wchar_t* expected;
    bool changed;
};

TEST(DocNames, MakeNameFree) {
    const UniqueCase cases[] = {
        {L"Box", {L"box"}, L"Box_1", true},
        {L"Box", {L"box", L"Box_1"}, L"Box_2", true},
        {L"Box7", {L"BOX7"}, L"Box1", true},
        {L"Box7", {L"BOX7", L"box1"}, L"Box2", true},
        {L"Box__", {L"Box__"}, L"Box_1", true},
        {L"Free", {L"Other"}, L"Free", false},
        // An empty name is never kept, conflict or not.
        {L"", {}, L"_1", true},
        {L"", {L""}, L"_1", true},
        {L"", {L"_1"}, L"_2", true},
        {L"42", {L"42"}, L"1", true},
        // Only A-Z fold: umlauts must match exactly.
        {L"\u00e4x", {L"\u00c4X"}, L"\u00e4x", false},
    };
    for (const UniqueCase& c : cases) {
        Taken t;
        for (const wchar_t* o : c.others) t.names.push_back(o);
        CString n = c.name;
        EXPECT_EQ(MakeNameFree(n, t), c.changed) << c.name;
        EXPECT_STREQ(n, c.expected) << c.name;
    }
}

TEST(DocNames, DotsBecomeUnderscores) {
    CString n = L"A.B.C";
    EXPECT_TRUE(ReplaceNameDots(n));
    EXPECT_STREQ(n, L"A_B_C");
    CString m = L"AB";
    EXPECT_FALSE(ReplaceNameDots(m));
}

TEST(DocNames, DefaultNameNumber) {
    struct {
        const wchar_t* name;
        int n;
    } cases[] = {
        {L"Box1", 1},
        {L"box7", 7},
        {L"Box12x", 12},
        {L"Box", 0},
        {L"Boxer", 0},
        {L"Box -3", 0},
        {L"Box 5", 5},
        {L"Bo", -1},
        {L"Com3", -1},
        // Too big to leave room for the next number: ignored, not wrapped.
        {L"Box99999999999", -1},
        {L"Box2147483647", -1},
        {L"Box2147483646", 2147483646},
    };
    for (auto& c : cases) EXPECT_EQ(DefaultNameNumber(c.name, L"Box"), c.n) << c.name;
}

}  // namespace
