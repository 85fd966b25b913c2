// Byte layouts and path composition of the gate, platform-free.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "quicktime/library_path.h"
#include "quicktime/param_block.h"

namespace {

std::vector<uint8_t> Bytes(const ComponentParameters& block) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&block);
  return std::vector<uint8_t>(p, p + sizeof block);
}

TEST(ComponentParameters, SetInputPictureBlock) {
  EXPECT_EQ(Bytes(MakeComponentParameters(47, 0x12345678u)),
            (std::vector<uint8_t>{0x00, 0x04, 0x2F, 0x00, 0x78, 0x56, 0x34, 0x12}));
}

TEST(ComponentParameters, GetInputImageDimensionsBlock) {
  EXPECT_EQ(Bytes(MakeComponentParameters(59, 0x00FFEE01u)),
            (std::vector<uint8_t>{0x00, 0x04, 0x3B, 0x00, 0x01, 0xEE, 0xFF, 0x00}));
}

TEST(ComponentParameters, NegativeRequestNumberIsTwosComplement) {
  ComponentParameters block = MakeComponentParameters(-2, 0);
  EXPECT_EQ(Bytes(block), (std::vector<uint8_t>{0x00, 0x04, 0xFE, 0xFF, 0, 0, 0, 0}));
  EXPECT_EQ(block.what, -2);
  EXPECT_EQ(block.paramSize, 4);
  EXPECT_EQ(block.flags, 0);
}

TEST(LibraryPath, AppendTextFitsOrLeavesBufferAlone) {
  char buffer[8] = "abc";
  EXPECT_TRUE(AppendText(buffer, sizeof buffer, "defg"));  // 7 characters and the terminator
  EXPECT_STREQ(buffer, "abcdefg");
  EXPECT_FALSE(AppendText(buffer, sizeof buffer, "h"));
  EXPECT_STREQ(buffer, "abcdefg");
}

TEST(LibraryPath, AppendTextToUnterminatedBufferFails) {
  char buffer[4] = {'a', 'b', 'c', 'd'};
  EXPECT_FALSE(AppendText(buffer, sizeof buffer, ""));
  EXPECT_EQ(memcmp(buffer, "abcd", 4), 0);
}

TEST(LibraryPath, ReplaceFileNameCutsAfterLastSeparator) {
  char path[64] = "C:\\Program Files/FileMaker\\FileMaker Pro.exe";
  EXPECT_TRUE(ReplaceFileName(path, sizeof path, "QuickTime.qts"));
  EXPECT_STREQ(path, "C:\\Program Files/FileMaker\\QuickTime.qts");

  char slash[64] = "/opt/fm/host";
  EXPECT_TRUE(ReplaceFileName(slash, sizeof slash, "x.dll"));
  EXPECT_STREQ(slash, "/opt/fm/x.dll");
}

TEST(LibraryPath, ReplaceFileNameRefusesWhatDoesNotFit) {
  char bare[16] = "host.exe";
  EXPECT_FALSE(ReplaceFileName(bare, sizeof bare, "a.dll"));
  EXPECT_STREQ(bare, "host.exe");

  char path[16] = "C:\\a\\b.exe";  // folder of 5, room for 10 more and the terminator
  EXPECT_FALSE(ReplaceFileName(path, sizeof path, "0123456789A"));
  EXPECT_STREQ(path, "C:\\a\\b.exe");
  EXPECT_TRUE(ReplaceFileName(path, sizeof path, "0123456789"));
  EXPECT_STREQ(path, "C:\\a\\0123456789");
}

TEST(LibraryPath, EndsWithSeparator) {
  EXPECT_TRUE(EndsWithSeparator("C:\\QuickTime\\"));
  EXPECT_TRUE(EndsWithSeparator("C:/QuickTime/"));
  EXPECT_FALSE(EndsWithSeparator("C:\\QuickTime"));
  EXPECT_FALSE(EndsWithSeparator(""));
}

TEST(LibraryPath, TerminateValueText) {
  char buffer[6];
  memcpy(buffer, "ab\0zzz", 6);
  EXPECT_TRUE(TerminateValueText(buffer, sizeof buffer, 3));  // came with its terminator
  EXPECT_STREQ(buffer, "ab");

  memcpy(buffer, "abcdez", 6);
  EXPECT_TRUE(TerminateValueText(buffer, sizeof buffer, 5));  // came without, room for one
  EXPECT_STREQ(buffer, "abcde");

  memcpy(buffer, "abcdef", 6);
  EXPECT_FALSE(TerminateValueText(buffer, sizeof buffer, 6));  // full, no terminator
  EXPECT_FALSE(TerminateValueText(buffer, sizeof buffer, 7));

  EXPECT_TRUE(TerminateValueText(buffer, sizeof buffer, 0));
  EXPECT_STREQ(buffer, "");
}

}  // namespace
