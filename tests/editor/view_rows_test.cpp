#include "editor/view_rows.h"
#include <gtest/gtest.h>

namespace {

TEST(ViewRows, PortText) {
    struct {
        int type;
        unsigned bin, http;
        long serial;
        const wchar_t* text;
    } cases[] = {
        {-1, 8000, 80, 0, L""},
        {0, 49153, 80, 0, L"49153"},
        {18, 2683, 80, 0, L"2683"},
        {4, 49153, 80, 0, L"49153/80"},
        {23, 1, 2, 0, L"1/2"},
        {9, 8000, 80, 0x1A2B, L"00001A2B"},
        {12, 8000, 80, (long)0xFFFFFFFF, L"FFFFFFFF"},
        {6, 8000, 8080, 0, L"8080"},
        {25, 8000, 443, 0, L"443"},
    };
    for (auto& c : cases) EXPECT_STREQ(RowPortText(c.type, c.bin, c.http, c.serial), c.text) << c.type;
}

TEST(ViewRows, TimingText) {
    EXPECT_STREQ(RowTimingText(1, 50), L"0.1 .. 5 s");
    EXPECT_STREQ(RowTimingText(5, 25), L"0.5 .. 2.5 s");
    EXPECT_STREQ(RowTimingText(0, 0), L"0 .. 0 s");
    // A hand-edited file can hold negative values: the sign stays in front.
    EXPECT_STREQ(RowTimingText(-5, -25), L"-0.5 .. -2.5 s");
    EXPECT_STREQ(RowTimingText(-20, -1), L"-2 .. -0.1 s");
}

TEST(ViewRows, Images) {
    struct {
        int type;
        int enabled;
    } cases[] = {{-1, 1}, {0, 4}, {1, 4}, {2, 6}, {3, 6}, {8, 8}, {9, 12}, {12, 12}, {18, 10}, {4, 2}, {25, 2}};
    for (auto& c : cases) {
        EXPECT_EQ(RowImage(c.type, false), c.enabled) << c.type;
        EXPECT_EQ(RowImage(c.type, true), c.enabled + 1) << c.type;
    }
}

TEST(ViewRows, Compare) {
    EXPECT_EQ(CompareNamesNoCase(L"box", L"BOX"), 0);
    EXPECT_LT(CompareNamesNoCase(L"a", L"B"), 0);
    // Type 4 with 49153/80 sorts after type 0 with 49153 (low half 0).
    EXPECT_GT(ComparePortKeys((49153u << 16) | 80u, 49153u << 16), 0);
    EXPECT_GT(ComparePortKeys(0x80000000u, 1u), 0);
    EXPECT_EQ(ComparePortKeys(7, 7), 0);
    EXPECT_LT(CompareTiming(1, 50, 2, 10), 0);
    EXPECT_GT(CompareTiming(1, 50, 1, 10), 0);
    EXPECT_EQ(CompareTiming(3, 4, 3, 4), 0);
}

TEST(ViewRows, SelectionSummaryFromRowsSelectedNow) {
    CSelSummary none = SummariseSelection({});
    EXPECT_EQ(none.nSelected, 0);
    EXPECT_FALSE(none.toggles || none.notGlobal || none.transceiver || none.hasItems);

    CSelSummary global = SummariseSelection({{0, false}});
    EXPECT_FALSE(global.notGlobal);
    EXPECT_FALSE(global.toggles);
    EXPECT_FALSE(global.hasItems);

    CSelSummary trcv = SummariseSelection({{4, true}});
    EXPECT_TRUE(trcv.transceiver && trcv.toggles && trcv.notGlobal);
    EXPECT_FALSE(trcv.active);
    EXPECT_FALSE(trcv.hasItems);

    CSelSummary module = SummariseSelection({{5, false}});
    EXPECT_TRUE(module.notGlobal && module.hasItems);
    EXPECT_FALSE(module.toggles);

    // Global options plus a device: delete takes both, timing is offered.
    CSelSummary two = SummariseSelection({{0, false}, {1, false}});
    EXPECT_TRUE(two.notGlobal && two.toggles && two.active);
    EXPECT_FALSE(two.transceiver || two.hasItems);

    // A transceiver with another row: no new radio module.
    EXPECT_FALSE(SummariseSelection({{4, false}, {1, false}}).transceiver);

    // After deselecting the device again only the global row counts.
    CSelSummary back = SummariseSelection({{0, false}, {5, false}});
    EXPECT_FALSE(back.toggles);
    EXPECT_TRUE(back.notGlobal);

    // Mixed states: the last device that became selected decides. Rows
    // selected one by one have set it already; of a range, the lowest fresh
    // device that can be enabled and disabled.
    struct {
        std::vector<CSelectedRow> rows;
        bool before, active;
    } mixed[] = {
        {{{1, true}}, true, false},
        {{{3, false}}, false, true},
        {{{0, false}}, false, false},
        {{{1, true}, {3, false}}, false, false},
        {{{1, true}, {3, false}}, true, true},
        {{{1, false, true}, {3, true, true}}, true, false},
        {{{1, true, true}, {3, false, true}}, false, true},
        {{{1, true, true}, {3, false, false}}, true, false},
        {{{4, true, true}, {0, false, true}, {5, false, true}}, true, false},
        {{{0, false, true}, {5, false, true}}, true, true},
    };
    for (auto& m : mixed) {
        EXPECT_EQ(m.active, SummariseSelection(m.rows, m.before).active) << &m - mixed;
    }
}

}  // namespace
