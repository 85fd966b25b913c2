// The entry point linked directly, with a function of the test's own in the
// empty slot 7: a call that comes in while another is in progress, and the
// argument text locked once for a whole call.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "host/call_record.h"
#include "host/parameters.h"
#include "player/function_table.h"
#include "standin/handles.h"

namespace {

constexpr int32_t kTestSlot = 7;

HostCallRecord MakeRecord(uint8_t callCode) {
  HostCallRecord record;
  memset(&record, 0, sizeof record);
  record.hostVersion = 50;
  record.callCode = callCode;
  standin::FillRecordRoutines(record);
  return record;
}

// Routines of a record the host has let go of: every use is counted, none
// does anything.
int staleUses = 0;
void HOST_API StaleSetHandleSize(HostHandle, int32_t) { ++staleUses; }
int32_t HOST_API StaleGetHandleSize(HostHandle) { return ++staleUses, 0; }
void HOST_API StaleLockHandle(HostHandle) { ++staleUses; }
void HOST_API StaleUnlockHandle(HostHandle) { ++staleUses; }
void* HOST_API StaleNewBlock(int32_t) { return ++staleUses, nullptr; }
void HOST_API StaleDisposeBlock(void*) { ++staleUses; }
int16_t HOST_API StaleMemoryError() { return ++staleUses, -108; }

void MakeStale(HostCallRecord& record) {
  record.hostSetHandleSize = StaleSetHandleSize;
  record.hostGetHandleSize = StaleGetHandleSize;
  record.hostLockHandle = StaleLockHandle;
  record.hostUnlockHandle = StaleUnlockHandle;
  record.hostNewBlock = StaleNewBlock;
  record.hostDisposeBlock = StaleDisposeBlock;
  record.hostMemoryError = StaleMemoryError;
}

// Locks of the outer call's parameter handle, counted on the way through.
HostHandle watched = nullptr;
int watchedLocks = 0;
void HOST_API CountingLockHandle(HostHandle handle) {
  if (handle == watched) ++watchedLocks;
  standin::HostLockHandle(handle);
}

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::ClearFaults();
    blocks = standin::OutstandingBlocks();
    handles = standin::OutstandingHandles();
    HostCallRecord init = MakeRecord(kCallInitialise);
    FMExternCallProc(&init);
    ASSERT_EQ(init.result.initResult, 4);
    ASSERT_EQ(functionTable[kTestSlot], nullptr);
  }
  void TearDown() override {
    functionTable[kTestSlot] = nullptr;
    HostCallRecord shutdown = MakeRecord(kCallShutdown);
    FMExternCallProc(&shutdown);
    EXPECT_EQ(standin::OutstandingBlocks(), blocks);
    EXPECT_EQ(standin::OutstandingHandles(), handles);
    EXPECT_EQ(standin::UnbalancedUnlocks(), 0);
  }

  // Calls the function in slot `number` with text; answers the result.
  static std::string Call(HostCallRecord record, int32_t number, const std::string& text) {
    HostHandle parameter = standin::NewHandle(text);
    HostHandle result = standin::NewHandle("");
    watched = parameter;
    record.functionNumber = number;
    record.parameterHandle = parameter;
    record.result.resultHandle = result;
    FMExternCallProc(&record);
    EXPECT_EQ(standin::LockCount(parameter), 0) << "the argument text was left locked";
    std::string answer = standin::HandleBytes(result);
    watched = nullptr;
    standin::DisposeHandle(parameter);
    standin::DisposeHandle(result);
    return answer;
  }

  int blocks = 0;
  int handles = 0;
};

// The nested call's record, kept alive (but dead to the host) after it.
HostCallRecord nestedRecord;
std::string nestedAnswer;

// A function during which a host script calls Vantoro-Version; afterwards
// it reads its second argument and answers with it.
void Interrupted(const CallParameters& parameters, HostHandle result) {
  nestedRecord = MakeRecord(kCallExternal);
  HostHandle text = standin::NewHandle("platform");
  HostHandle answer = standin::NewHandle("");
  nestedRecord.functionNumber = 12;
  nestedRecord.parameterHandle = text;
  nestedRecord.result.resultHandle = answer;
  FMExternCallProc(&nestedRecord);
  nestedAnswer = standin::HandleBytes(answer);
  standin::DisposeHandle(text);
  standin::DisposeHandle(answer);
  MakeStale(nestedRecord);

  ParameterCopy copy(parameters, 2);
  const char* field = copy.get() ? copy.get() : "(no copy)";
  SetResultText(result, field, static_cast<int32_t>(strlen(field)));
}

TEST_F(Dispatch, ACallInsideACallGivesTheOuterRecordBack) {
  functionTable[kTestSlot] = Interrupted;
  staleUses = 0;
  EXPECT_EQ(Call(MakeRecord(kCallExternal), kTestSlot, "one|two"), "two");
  EXPECT_EQ(nestedAnswer, "Windows");
  EXPECT_EQ(staleUses, 0) << "the outer call went on through the nested call's record";
}

// Reads every argument it is given, then answers how many it read.
void ReadsEverything(const CallParameters& parameters, HostHandle result) {
  int16_t count = CountParameters(parameters);
  std::string joined;
  for (int16_t n = 1; n <= count; ++n) {
    ParameterCopy copy(parameters, n);
    joined += copy.get() ? copy.get() : "?";
  }
  SetResultText(result, joined.data(), static_cast<int32_t>(joined.size()));
}

TEST_F(Dispatch, TheArgumentTextIsLockedOncePerCall) {
  functionTable[kTestSlot] = ReadsEverything;
  HostCallRecord record = MakeRecord(kCallExternal);
  record.hostLockHandle = CountingLockHandle;
  watchedLocks = 0;
  EXPECT_EQ(Call(record, kTestSlot, "a|b|c|d|e|f|g|h|i"), "abcdefghi");
  EXPECT_EQ(watchedLocks, 1);
  // Play too, given one argument too many: one lock, and the count refused.
  watchedLocks = 0;
  EXPECT_EQ(Call(record, 6, "a|b|c|d|e|f|g|h|i|j"), "70001");
  EXPECT_EQ(watchedLocks, 1);
}

}  // namespace
