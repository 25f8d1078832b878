#include <gtest/gtest.h>
#include "framework/String.h"

TEST(CString, FormatUsesMicrosoftMeaningOfPercentS) {
    CString s;
    s.Format(L"%s|%hs|%d|%04x|%lx", L"wide", "narrow", 42, 0x2a, (unsigned long)-1);
    EXPECT_STREQ(L"wide|narrow|42|002a|ffffffff", s);
    s.Format(L"%g;%g", 0.0, 255.0);
    EXPECT_STREQ(L"0;255", s);
}

TEST(CString, SlicesStayInBounds) {
    CString s(L"abc.def");
    EXPECT_EQ(3, s.Find(L'.'));
    EXPECT_EQ(-1, s.Find(L'.', 4));
    EXPECT_EQ(-1, s.Find(L'x', 100));
    EXPECT_STREQ(L"abc", s.Left(3));
    EXPECT_STREQ(L"abc.def", s.Left(100));
    EXPECT_STREQ(L"", s.Left(-1));
    EXPECT_STREQ(L"def", s.Mid(4));
    EXPECT_STREQ(L"", s.Mid(100));
    EXPECT_STREQ(L"de", s.Mid(4, 2));
    EXPECT_STREQ(L"def", s.Mid(4, 100));
    EXPECT_STREQ(L"ef", s.Right(2));
}

TEST(CString, CompareNoCaseFoldsOnlyAsciiLetters) {
    EXPECT_EQ(0, CString(L"C:\\ProgramData\\X.ini").CompareNoCase(L"c:\\programdata\\x.INI"));
    EXPECT_NE(0, CString(L"\u00e4").CompareNoCase(L"\u00c4"));
    EXPECT_LT(CString(L"a").CompareNoCase(L"B"), 0);
}

TEST(CString, LoadStringReadsTheStringTable) {
    CString s;
    ASSERT_TRUE(s.LoadString(900));
    EXPECT_STREQ(L"Gr\u00f6\u00dfe %d", s);
    EXPECT_FALSE(s.LoadString(901));
    EXPECT_TRUE(s.IsEmpty());
}
