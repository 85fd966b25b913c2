// What every engine behind the gate reads from the caller's argument words
// and answers, as derived from the one operation list, and the X2Fix rule
// both engines share.
#include <gtest/gtest.h>
#include <math.h>

#include "media_interface/fixed_point.h"
#include "media_interface/operation_shapes.h"

using namespace media_interface;

namespace {

int16_t lastVolume;
int8_t lastPermission;
Boolean lastActive;

void TakesVolume(int32_t, int16_t volume) { lastVolume = volume; }
OSErr TakesPermission(int16_t, int8_t permission) {
  lastPermission = permission;
  return -43;
}
Boolean TakesBoolean(Boolean active) {
  lastActive = active;
  return 1;
}
int16_t NegativeVolume(int32_t) { return -256; }

}  // namespace

TEST(ArgumentWords, NarrowArgumentsComeFromTheWordsLowBits) {
  // Callers widen 16- and 8-bit arguments however they like; only the low
  // bits count.
  const uint32_t volume[] = {0, 0xABCDFF00};
  EXPECT_EQ(CallWithWords(TakesVolume, volume), 0u) << "void answers 0";
  EXPECT_EQ(lastVolume, -256);

  const uint32_t permission[] = {0, 0x12345601};
  CallWithWords(TakesPermission, permission);
  EXPECT_EQ(lastPermission, 1);

  const uint32_t active[] = {0x100};
  CallWithWords(TakesBoolean, active);
  EXPECT_EQ(lastActive, 0) << "a Boolean is the low byte alone";
}

TEST(ArgumentWords, SignedResultsAreSignExtendedIntoEax) {
  const uint32_t words[] = {0, 0};
  EXPECT_EQ(CallWithWords(TakesPermission, words), 0xFFFFFFD5u);  // status -43
  EXPECT_EQ(CallWithWords(NegativeVolume, words), 0xFFFFFF00u);
  EXPECT_EQ(CallWithWords(TakesBoolean, words), 1u);
}

TEST(OperationList, WordsAndAnswersOfTheOperationsThePluginCalls) {
  // As the plug-in calls them: every argument one word, results in EAX.
  EXPECT_EQ(ArgumentCount(kSel_GetMovieNextInterestingTime), 8);
  EXPECT_EQ(ArgumentCount(kSel_NewMovieFromFile), 6);
  EXPECT_EQ(ArgumentCount(kSel_PrePrerollMovie), 5);
  EXPECT_EQ(ArgumentCount(kSel_X2FixDispatch), 2);
  EXPECT_EQ(ArgumentCount(kSel_IsMovieDone), 1);
  EXPECT_EQ(ArgumentCount(0x00020000), -1);

  EXPECT_STREQ(OperationName(kSel_MovieDisplayRectChanged), "MovieDisplayRectChanged");
  EXPECT_STREQ(OperationName(0x00020000), "unknown");
}

TEST(FixedFromDouble, NearestWithHalvesAwayFromZero) {
  EXPECT_EQ(FixedFromDouble(1.0), 0x10000);
  EXPECT_EQ(FixedFromDouble(0.5), 0x8000);
  EXPECT_EQ(FixedFromDouble(-1.5), -0x18000);
  const double unit = 1.0 / 65536.0;
  EXPECT_EQ(FixedFromDouble(unit * 0.49), 0);
  EXPECT_EQ(FixedFromDouble(unit * 0.5), 1);
  EXPECT_EQ(FixedFromDouble(-unit * 0.5), -1);
  EXPECT_EQ(FixedFromDouble(-unit * 0.49), 0);
}

TEST(FixedFromDouble, KeptToTheRangeAndNaNIsZero) {
  EXPECT_EQ(FixedFromDouble(32767.99999), INT32_MAX);
  EXPECT_EQ(FixedFromDouble(1e10), INT32_MAX);
  EXPECT_EQ(FixedFromDouble(-32768.0), INT32_MIN);
  EXPECT_EQ(FixedFromDouble(-1e10), INT32_MIN);
  EXPECT_EQ(FixedFromDouble(INFINITY), INT32_MAX);
  EXPECT_EQ(FixedFromDouble(NAN), 0);
}
