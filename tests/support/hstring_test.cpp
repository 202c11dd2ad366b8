#include "support/hstring.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

using ald::HString;

TEST(HStringTest, EmptyForms) {
  HString byDefault;
  HString zeroChar(static_cast<char>(0));
  HString nullText(static_cast<const char*>(nullptr));
  HString emptyText("");
  for (const HString* s : {&byDefault, &zeroChar, &nullText, &emptyText}) {
    EXPECT_EQ(s->GetLength(), 0u);
    EXPECT_TRUE(!*s);
    ASSERT_NE(static_cast<char*>(*s), nullptr);  // safe to hand to printf
    EXPECT_STREQ(static_cast<char*>(*s), "");
  }
  EXPECT_EQ(byDefault == nullText, 1);

  HString one('K');
  EXPECT_EQ(one.GetLength(), 1u);
  EXPECT_FALSE(!one);
  EXPECT_STREQ(static_cast<char*>(one), "K");
}

TEST(HStringTest, CopiesOwnTheirText) {
  char source[] = "KA01";
  HString a(source);
  source[0] = 'X';  // the string holds its own copy
  HString b(a);
  b[1] = 'Z';
  HString c;
  c = a;
  c[0] = 'Q';
  EXPECT_STREQ(static_cast<char*>(a), "KA01");
  EXPECT_STREQ(static_cast<char*>(b), "KZ01");
  EXPECT_STREQ(static_cast<char*>(c), "QA01");
}

TEST(HStringTest, SelfAssignmentAndSelfAppend) {
  HString a("ab");
  HString& alias = a;
  a = alias;
  EXPECT_STREQ(static_cast<char*>(a), "ab");
  a += a;
  EXPECT_STREQ(static_cast<char*>(a), "abab");
  EXPECT_EQ(a.GetLength(), 4u);
  a = a + a;
  EXPECT_STREQ(static_cast<char*>(a), "abababab");

  HString empty;
  empty += empty;
  EXPECT_TRUE(!empty);
  HString s = HString("x") + empty + HString("y") + '!';
  EXPECT_STREQ(static_cast<char*>(s), "xy!");
}

TEST(HStringTest, ComparisonIsByCharactersAndLength) {
  HString abc("abc");
  EXPECT_EQ(abc == HString("abc"), 1);
  EXPECT_EQ(abc != HString("abc"), 0);
  EXPECT_EQ(abc == HString("ab"), 0);  // a prefix is not equal
  EXPECT_EQ(HString("ab") == abc, 0);
  EXPECT_EQ(abc != HString("abd"), 1);
  EXPECT_EQ(abc == "abc", 1);
  EXPECT_EQ("abc" == abc, 1);
  EXPECT_EQ(abc != "abcd", 1);
  EXPECT_EQ(HString() == static_cast<const char*>(nullptr), 1);
}

TEST(HStringTest, IndexOutsideTheTextTouchesNothing) {
  HString s("RET");
  EXPECT_EQ(s[0], 'R');
  EXPECT_EQ(s[2], 'T');
  s[1] = 'A';
  EXPECT_STREQ(static_cast<char*>(s), "RAT");

  EXPECT_EQ(s[3], 0);
  EXPECT_EQ(s[-1], 0);
  s[3] = 'X';  // would overwrite the terminator
  s[-1] = 'X';
  s[1000] = 'X';
  EXPECT_EQ(s[3], 0);  // the scratch reads as 0 again
  EXPECT_STREQ(static_cast<char*>(s), "RAT");
  EXPECT_EQ(s.GetLength(), 3u);

  const HString& cs = s;
  EXPECT_EQ(cs[5], 0);
  EXPECT_EQ(cs[0], 'R');
}

TEST(HStringTest, SubstringIsClippedToTheText) {
  HString s("ABCDEF");
  EXPECT_STREQ(static_cast<char*>(s(0, 6)), "ABCDEF");
  EXPECT_STREQ(static_cast<char*>(s(2, 3)), "CDE");
  EXPECT_STREQ(static_cast<char*>(s(4, 10)), "EF");
  EXPECT_STREQ(static_cast<char*>(s(4, INT_MAX)), "EF");
  EXPECT_STREQ(static_cast<char*>(s(-3, 2)), "AB");
  EXPECT_TRUE(!s(6, 1));
  EXPECT_TRUE(!s(INT_MAX, INT_MAX));
  EXPECT_TRUE(!s(1, 0));
  EXPECT_TRUE(!s(1, -5));
  EXPECT_TRUE(!HString()(0, 5));
  EXPECT_EQ(s(1, 2).GetLength(), 2u);
  EXPECT_EQ(s(4, 10).GetLength(), 2u);
}

TEST(HStringTest, EmbeddedZeroSurvivesCopyAndAppend) {
  HString s("ab");
  s[0] = 0;  // e.g. a raw identifier byte
  HString t = s + HString("c");
  EXPECT_EQ(t.GetLength(), 3u);
  EXPECT_EQ(std::memcmp(static_cast<char*>(t), "\0bc", 4), 0);
  EXPECT_EQ(t == HString(t), 1);
  EXPECT_EQ(t(1, 2) == "bc", 1);
}

}  // namespace
