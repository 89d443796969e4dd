#include <gtest/gtest.h>

#include "platform/stringlist.h"
#include "platform/types.h"

namespace {

TEST(TextCase, AsciiAndFullWidthLetters) {
  EXPECT_TRUE(SameText("FilterBox", "filterbox"));
  EXPECT_FALSE(SameText("abc", "abd"));
  EXPECT_FALSE(SameText("abc", "abcd"));
  // Only ASCII letters fold; other bytes compare as they are.
  EXPECT_FALSE(SameText("\xEF\xBC\xA1", "\xEF\xBD\x81"));
  EXPECT_EQ(UpperCase("abc_xyz\xEF\xBD\x81\xEF\xBD\x9A"), "ABC_XYZ\xEF\xBC\xA1\xEF\xBC\xBA");
  EXPECT_EQ(LowerCase("ABC\xEF\xBC\xA1\xEF\xBC\xBA"), "abc\xEF\xBD\x81\xEF\xBD\x9A");
  // Japanese text is left alone (U+3042, U+FF5B just after the letters).
  EXPECT_EQ(UpperCase("\xE3\x81\x82\xEF\xBD\x9B"), "\xE3\x81\x82\xEF\xBD\x9B");
  EXPECT_EQ(UpperCase("\xEF\xBD"), "\xEF\xBD");
}

TEST(StringList, FirstMatchWithoutRegardToCase) {
  TStringList l;
  int a = 1, b = 2;
  l.AddObject("Negative", &a);
  l.AddObject("NEGATIVE", &b);
  l.Add("Gray");
  EXPECT_EQ(l.IndexOf("negative"), 0);
  EXPECT_EQ(l.IndexOf("gray"), 2);
  EXPECT_EQ(l.IndexOf("Grey"), -1);
  EXPECT_EQ(l.ObjectAs<int>(l.IndexOf("negative")), &a);
  EXPECT_EQ(l.IndexOfObject(&b), 1);
  EXPECT_EQ(l.IndexOfObject(nullptr), 2);
}

TEST(StringList, InsertDeleteAndBounds) {
  TStringList l;
  l.Add("b");
  l.Insert(0, "a");
  l.Insert(2, "c");
  ASSERT_EQ(l.Count(), 3);
  EXPECT_EQ(l.Strings(0) + l.Strings(1) + l.Strings(2), "abc");
  l.Delete(1);
  EXPECT_EQ(l.Strings(1), "c");
  EXPECT_THROW(l.Insert(5, "x"), Exception);
  EXPECT_THROW(l.Insert(-1, "x"), Exception);
  EXPECT_THROW(l.Delete(2), Exception);
  EXPECT_THROW(l.Strings(2), Exception);
  EXPECT_THROW(l.Objects(-1), Exception);
  EXPECT_THROW(l.SetString(2, "x"), Exception);
  EXPECT_EQ(l.Count(), 2);
}

TEST(StringList, TextSplitsAtEveryLineBreak) {
  TStringList l;
  l.SetText("one\r\ntwo\nthree\rfour\r\n\r\nsix");
  ASSERT_EQ(l.Count(), 6);
  EXPECT_EQ(l.Strings(0), "one");
  EXPECT_EQ(l.Strings(3), "four");
  EXPECT_EQ(l.Strings(4), "");
  EXPECT_EQ(l.Strings(5), "six");
  EXPECT_EQ(l.Text(), "one\r\ntwo\r\nthree\r\nfour\r\n\r\nsix\r\n");
  l.SetText("last\r\n");
  EXPECT_EQ(l.Count(), 1);
  l.SetText("");
  EXPECT_EQ(l.Count(), 0);
  l.SetText("\n\n");
  EXPECT_EQ(l.Count(), 2);
}

}  // namespace
