#include "host/parameter_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Fields(const std::string& text) {
  ParameterList list(text.data(), text.size());
  std::vector<std::string> fields;
  for (int i = 1; i <= list.Count(); ++i) {
    const char* start;
    size_t length;
    EXPECT_TRUE(list.Field(i, &start, &length));
    fields.emplace_back(start, length);
  }
  return fields;
}

using V = std::vector<std::string>;

TEST(ParameterList, SplitsAtEveryBar) {
  EXPECT_EQ(Fields(""), V{});
  EXPECT_EQ(Fields("abc"), V{"abc"});
  EXPECT_EQ(Fields("a|"), (V{"a", ""}));
  EXPECT_EQ(Fields("|a"), (V{"", "a"}));
  EXPECT_EQ(Fields("|"), (V{"", ""}));
  EXPECT_EQ(Fields("a||b"), (V{"a", "", "b"}));
  EXPECT_EQ(Fields(" a | b "), (V{" a ", " b "}));
}

// More fields than any function reads: the ones after the first ten are
// found as well, and the first past the end is not.
TEST(ParameterList, FieldsBeyondTheTenth) {
  EXPECT_EQ(Fields("a|b|c|d|e|f|g|h|i|j"), (V{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}));
  EXPECT_EQ(Fields("a|b|c|d|e|f|g|h|i|j|"), (V{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", ""}));
  EXPECT_EQ(Fields("1|2|3|4|5|6|7|8|9|10|11|12|13"),
            (V{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13"}));
  const char* start;
  size_t length;
  for (std::string text : {"a|b|c|d|e|f|g|h|i", "a|b|c|d|e|f|g|h|i|j", "a|b|c|d|e|f|g|h|i|j|k|l"}) {
    ParameterList list(text.data(), text.size());
    EXPECT_FALSE(list.Field(list.Count() + 1, &start, &length)) << text;
    EXPECT_FALSE(list.Field(list.Count() + 5, &start, &length)) << text;
  }
}

TEST(ParameterList, ZeroBytesBelongToTheField) {
  std::string text("a\0b|c", 5);
  EXPECT_EQ(Fields(text), (V{std::string("a\0b", 3), "c"}));
}

TEST(ParameterList, OutOfRangePositions) {
  std::string text = "a|b";
  ParameterList list(text.data(), text.size());
  const char* start;
  size_t length;
  EXPECT_FALSE(list.Field(0, &start, &length));
  EXPECT_FALSE(list.Field(-1, &start, &length));
  EXPECT_FALSE(list.Field(3, &start, &length));
  ParameterList empty(nullptr, 0);
  EXPECT_FALSE(empty.Field(1, &start, &length));
  EXPECT_EQ(empty.Count(), 0);
}

TEST(ParameterList, CountStopsAt32767) {
  EXPECT_EQ(ParameterList(std::string(32766, '|').data(), 32766).Count(), 32767);
  std::string many(65536, '|');  // 65,537 fields: never a small count
  EXPECT_EQ(ParameterList(many.data(), many.size()).Count(), kMaxParameterCount);
  std::string wraps(65536 + 2, '|');  // 65,539 fields would read as 3 in 16 bits
  EXPECT_EQ(ParameterList(wraps.data(), wraps.size()).Count(), kMaxParameterCount);
  // Fields beyond the count are still reachable.
  const char* start;
  size_t length;
  EXPECT_TRUE(ParameterList(many.data(), many.size()).Field(40000, &start, &length));
  EXPECT_EQ(length, 0u);
}

}  // namespace
