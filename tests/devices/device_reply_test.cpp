#include "devices/device_reply.h"

#include <gtest/gtest.h>
#include <cstdint>
#include <string>
#include <map>
#include <set>

TEST(DeviceReply, DefaultsAndReset) {
    CDeviceReply r;
    EXPECT_EQ(0, r.productNumber);
    EXPECT_EQ(-1, r.typeIndex);
    EXPECT_EQ(80, r.httpPort);
    EXPECT_EQ(0, r.secure);
    EXPECT_EQ(0, r.gen40);
    EXPECT_EQ(0, r.fullReply);
    r.productNumber = 57620;
    r.typeIndex = 2;
    r.httpPort = 8443;
    r.secure = r.gen40 = r.fullReply = 1;
    r.Reset();
    EXPECT_EQ(0, r.productNumber);
    EXPECT_EQ(-1, r.typeIndex);
    EXPECT_EQ(80, r.httpPort);
    EXPECT_EQ(0, r.secure + r.gen40 + r.fullReply);
}

TEST(ProductTable, RowsPerTypeIndex) {
    int n = 0;
    const CProductRow* rows = ProductRows(n);
    ASSERT_EQ(46, n);
    std::map<int, int> perType, gen40PerType;
    std::set<int> numbers;
    for (int i = 0; i < n; ++i) {
        EXPECT_GE(rows[i].product, 10000);
        EXPECT_LE(rows[i].product, 99999);
        EXPECT_TRUE(numbers.insert(rows[i].product).second) << rows[i].product;
        ++perType[rows[i].typeIndex];
        gen40PerType[rows[i].typeIndex] += rows[i].gen40;
    }
    const std::map<int, int> expected = {{2, 1},  {3, 6},  {4, 1},  {5, 3},  {6, 1},  {7, 2},  {8, 1},
                                         {9, 1},  {10, 1}, {11, 3}, {13, 2}, {14, 6}, {15, 3}, {16, 3},
                                         {17, 3}, {18, 2}, {19, 2}, {20, 3}, {21, 2}};
    EXPECT_EQ(expected, perType);
    int gen40Rows = 0;
    for (auto& kv : gen40PerType) gen40Rows += kv.second;
    EXPECT_EQ(3, gen40Rows);
    EXPECT_EQ(1, gen40PerType[2]);
    EXPECT_EQ(1, gen40PerType[3]);
    EXPECT_EQ(1, gen40PerType[5]);
}

TEST(ProductTable, LookupEveryRowAndMisses) {
    int n = 0;
    const CProductRow* rows = ProductRows(n);
    for (int i = 0; i < n; ++i) {
        int32_t type = 99, gen40 = 99;
        EXPECT_TRUE(LookupProductNumber(rows[i].product, type, gen40));
        EXPECT_EQ(rows[i].typeIndex, type);
        EXPECT_EQ(rows[i].gen40, gen40);
    }
    for (int32_t miss : {0, -1, 1, 57619, 99999, 2147483647}) {
        int32_t type = 5, gen40 = 1;
        EXPECT_FALSE(LookupProductNumber(miss, type, gen40)) << miss;
        EXPECT_EQ(-1, type);
        EXPECT_EQ(0, gen40);
    }
}

// As atoi reads the number, but one beyond 32 bits is none of the table's,
// whatever value it would wrap to.
TEST(ProductTable, ArticleNumbersThatDoNotFitAreNoArticle) {
    struct Case {
        std::string text;
        size_t len;  // of text, when not the whole
        bool fits;
        int32_t number;
    };
    const Case cases[] = {
        {"57640", 0, true, 57640},
        {" \t\r\n-12abc", 0, true, -12},
        {"+57640 rest", 0, true, 57640},
        {"", 0, true, 0},
        {"abc", 0, true, 0},
        {"000000000000000057640", 0, true, 57640},
        {"2147483647", 0, true, 2147483647},
        {"-2147483648", 0, true, INT32_MIN},
        {"57640", 3, true, 576},
        {"2147483648", 0, false, -1},
        {"-2147483649", 0, false, -1},
        {"4295024936", 0, false, -1},  // 2^32 + 57640
        {"99999999999999999999999999999999", 0, false, -1},
    };
    for (const Case& c : cases) {
        int32_t n = 7;
        EXPECT_EQ(c.fits, ParseArticleNumber(c.text.data(), c.len ? c.len : c.text.size(), n)) << c.text;
        EXPECT_EQ(c.number, n) << c.text;
        int32_t type = 0, gen40 = 1;
        if (!c.fits) {
            EXPECT_FALSE(LookupProductNumber(n, type, gen40)) << c.text;
        }
    }
}
