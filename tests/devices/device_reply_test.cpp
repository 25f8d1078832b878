#include "devices/device_reply.h"

#include <gtest/gtest.h>
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
