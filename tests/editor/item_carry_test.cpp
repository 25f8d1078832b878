// Item-name carry-over against the real default names and kind codes.
#include <gtest/gtest.h>
#include "editor/item_carry.h"

namespace {

struct Dev {
    int type, in, out;
};

// Runs the properties command's sequence: record gets the new defaults, the
// copy holds the state from before the dialog with the names in use.
BOOL Carry(Dev before, const wchar_t* used, Dev after, CString& result, CString& copyNames) {
    CDeviceCfg copy(L"Box1", before.type), rec(L"Box1", after.type);
    copy.Inputs = before.in;
    copy.Outputs = before.out;
    copy.ItemNames = used;
    rec.Inputs = after.in;
    rec.Outputs = after.out;
    rec.BuildDefaultItemNames();
    BOOL r = CarryOverItemNames(&rec, &copy);
    result = rec.ItemNames;
    copyNames = copy.ItemNames;
    return r;
}

CString Defaults(Dev d) {
    CDeviceCfg c(L"x", d.type);
    c.Inputs = d.in;
    c.Outputs = d.out;
    c.BuildDefaultItemNames();
    return c.ItemNames;
}

}  // namespace

TEST(SrvItemCarry, DefaultsOfType4AreWhatTheCasesAssume) {
    EXPECT_STREQ(L".1E.20.21.1A.20.21.1N.20.21.1Network", Defaults({4, 2, 2}));
    EXPECT_STREQ(L".1E.20.21.22.1A.20.21.1N.20.21.22.1Network", Defaults({4, 3, 2}));
}

TEST(SrvItemCarry, Cases) {
    const wchar_t* userNames = L".1Inputs.2Door.2Window.1A.20.21.1N.20.21.1Network";
    struct Case {
        const char* what;
        Dev before;
        const wchar_t* used;  // nullptr: the defaults of before
        Dev after;
        BOOL result;
        const wchar_t* names;  // nullptr: the defaults of after
    } cases[] = {
        {"third input",
         {4, 2, 2},
         userNames,
         {4, 3, 2},
         TRUE,
         L".1Inputs.2Door.2Window.22.1A.20.21.1N.20.21.22.1Network"},
        {"same item set", {4, 2, 2}, userNames, {4, 2, 2}, FALSE, userNames},
        {"all defaults, new type", {6, 4, 4}, nullptr, {7, 4, 4}, FALSE, nullptr},
        {"names equal new defaults",
         {4, 2, 2},
         L".1E.20.21.22.1A.20.21.1N.20.21.22.1Network",
         {4, 3, 2},
         FALSE,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CString used = c.used ? CString(c.used) : Defaults(c.before);
        CString result, copyNames;
        EXPECT_EQ(c.result, Carry(c.before, used, c.after, result, copyNames));
        EXPECT_STREQ(c.names ? CString(c.names) : Defaults(c.after), result);
        EXPECT_STREQ(used, copyNames);  // the caller can always restore from the copy
    }
}

TEST(SrvItemCarry, TemperatureNamesSurviveTheChangeToType7) {
    CString d6 = Defaults({6, 2, 2});
    CString d7 = Defaults({7, 2, 2});
    // Rename the heading and both temperature items of type 6.
    CString used = d6;
    ReplaceNameComponent(L".1Temp.2Hall.2Roof", used, 0, 0);
    ReplaceNameComponent(L".1Temp.2Hall.2Roof", used, 1, 1);
    ReplaceNameComponent(L".1Temp.2Hall.2Roof", used, 2, 2);
    CString result, copyNames;
    EXPECT_TRUE(Carry({6, 2, 2}, used, {7, 2, 2}, result, copyNames));
    CString expect = d7;
    for (int k = 0; k < 3; ++k) ReplaceNameComponent(used, expect, k, k);
    EXPECT_STREQ(expect, result);
    EXPECT_EQ(0, result.Find(L".1Temp.2Hall.2Roof.1H"));
}

TEST(SrvItemCarry, OnlySharedKindsCarryBetweenUnrelatedTypes) {
    CString used = Defaults({6, 2, 2});
    // Rename everything, network item last.
    CDeviceCfg c(L"x", 6);
    c.Inputs = c.Outputs = 2;
    c.BuildKindCodes();
    int n = c.KindCodes.GetLength();
    ReplaceNameComponent(L".1Net", used, 0, n - 1);
    ReplaceNameComponent(L".1Grp", used, 0, 0);
    CString result, copyNames;
    EXPECT_TRUE(Carry({6, 2, 2}, used, {13, 2, 2}, result, copyNames));
    CString expect = Defaults({13, 2, 2});
    CDeviceCfg d(L"x", 13);
    d.Inputs = d.Outputs = 2;
    d.BuildKindCodes();
    ReplaceNameComponent(L".1Net", expect, 0, d.KindCodes.GetLength() - 1);
    EXPECT_STREQ(expect, result);
}

TEST(SrvItemCarry, ReplaceNameComponentTable) {
    struct Case {
        const wchar_t* source;
        const wchar_t* target;
        int s, t;
        const wchar_t* result;
    } cases[] = {
        {L".1A.2B", L".1x.2y.2z", 1, 2, L".1x.2y.2B"},
        {L".1A.2B", L".1x.2y.2z", 0, 0, L".1A.2y.2z"},
        {L".1A.2B", L".1x.2y", 5, 0, L".1x.2y"},  // no source entry
        {L".1A.2B", L".1x.2y", 0, 7, L".1x.2y"},  // no target entry
        {L".1A.2B", L".1x", -1, 0, L".1x"},
        {L".1E.", L".1x.2y", 1, 1, L".1x.2"},  // dot at the end: empty name
        {L".1A.2B", L".1x.", 1, 1, L".1x.B"},  // target entry without digit
        {L"..1A", L".1x.2y", 0, 1, L".1x.2"},  // no depth digit in source
        {L".", L".", 0, 0, L"."},
        {L"", L"", 0, 0, L""},
        {L"A.1B", L"y.2z", 0, 0, L"y.2B"},  // text before the first dot is no entry
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.s << "," << c.t);
        CString t = c.target;
        ReplaceNameComponent(c.source, t, c.s, c.t);
        EXPECT_STREQ(c.result, t);
    }
}

TEST(SrvItemCarry, MalformedNamesInUseDoNotBreakTheCarry) {
    const wchar_t* bad[] = {L".1E.", L".", L"..", L".1E.20.21.1A.20.21.1N.20.21.1Network.", L"no dots", L".1E.2", L""};
    for (const wchar_t* b : bad) {
        SCOPED_TRACE(testing::Message() << (const void*)b);
        CString result, copyNames;
        EXPECT_TRUE(Carry({4, 2, 2}, b, {4, 3, 2}, result, copyNames));
        EXPECT_STREQ(b, copyNames);
        EXPECT_EQ(0, result.Find(L"."));
    }
}
