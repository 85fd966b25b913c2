#include <string.h>

#include <gtest/gtest.h>

#include "standin/handles.h"

using namespace standin;

namespace {

class HandlesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearFaults();
    ResetCounters();
    base = OutstandingBlocks();  // other tests may have left some on purpose
  }
  void TearDown() override { ClearFaults(); }
  int Blocks() const { return OutstandingBlocks() - base; }
  int base = 0;
};

bool AllBytes(const char* p, size_t n, unsigned char value) {
  for (size_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(p[i]) != value) return false;
  return true;
}

TEST_F(HandlesTest, KeepsExactBytesIncludingZeros) {
  const std::string bytes("a\0b|\xFF", 5);
  HostHandle h = NewHandle(bytes);
  EXPECT_EQ(HostGetHandleSize(h), 5);
  EXPECT_EQ(HandleBytes(h), bytes);
  EXPECT_EQ(0, memcmp(*h, bytes.data(), 5));
  DisposeHandle(h);

  HostHandle empty = NewHandle("");
  EXPECT_EQ(HostGetHandleSize(empty), 0);
  EXPECT_EQ(HandleBytes(empty), "");
  DisposeHandle(empty);
  EXPECT_EQ(OutstandingHandles(), 0);
}

TEST_F(HandlesTest, UnlockedResizeMovesDataAndPoisonsTheOldBlock) {
  HostHandle h = NewHandle("hello");
  for (int32_t size : {9, 2, 2}) {  // growing, shrinking, same size: always moves
    char* before = *h;
    std::string kept = HandleBytes(h).substr(0, static_cast<size_t>(size));
    HostSetHandleSize(h, size);
    EXPECT_EQ(HostMemoryError(), 0);
    EXPECT_NE(*h, before);
    EXPECT_TRUE(AllBytes(before, kept.size(), 0xDD)) << "stale pointer still reads the text";
    EXPECT_EQ(HostGetHandleSize(h), size);
    EXPECT_EQ(HandleBytes(h).substr(0, kept.size()), kept.substr(0, kept.size()));
  }
  EXPECT_EQ(HandleBytes(h), "he");
  EXPECT_EQ(ResizeCount(h), 3);
  DisposeHandle(h);
}

TEST_F(HandlesTest, LockedHandleStaysInPlaceOrRefusesToGrow) {
  HostHandle h = NewHandle("abcdef");
  HostLockHandle(h);
  HostLockHandle(h);
  EXPECT_EQ(LockCount(h), 2);
  char* fixed = *h;

  HostSetHandleSize(h, 3);
  EXPECT_EQ(HostMemoryError(), 0);
  EXPECT_EQ(*h, fixed);
  EXPECT_EQ(HandleBytes(h), "abc");

  HostSetHandleSize(h, 5);  // still within the block
  EXPECT_EQ(HostMemoryError(), 0);
  EXPECT_EQ(*h, fixed);
  EXPECT_EQ(HostGetHandleSize(h), 5);

  HostSetHandleSize(h, 100);
  EXPECT_EQ(HostMemoryError(), kMemLockedErr);
  EXPECT_EQ(*h, fixed);
  EXPECT_EQ(HostGetHandleSize(h), 5);

  HostUnlockHandle(h);
  HostSetHandleSize(h, 100);  // one lock still held
  EXPECT_NE(HostMemoryError(), 0);
  HostUnlockHandle(h);
  EXPECT_EQ(LockCount(h), 0);
  HostSetHandleSize(h, 100);
  EXPECT_EQ(HostMemoryError(), 0);
  EXPECT_NE(*h, fixed);

  HostUnlockHandle(h);
  EXPECT_EQ(UnbalancedUnlocks(), 1);
  EXPECT_EQ(LockCount(h), 0);
  DisposeHandle(h);
}

TEST_F(HandlesTest, ResizeFaultLeavesHandleUnchangedOnce) {
  HostHandle h = NewHandle("text");
  char* data = *h;
  FailResizeAt(2);
  HostSetHandleSize(h, 4);
  EXPECT_EQ(HostMemoryError(), 0);
  data = *h;
  HostSetHandleSize(h, 0);
  EXPECT_EQ(HostMemoryError(), kMemFullErr);
  EXPECT_EQ(*h, data);
  EXPECT_EQ(HandleBytes(h), "text");
  HostSetHandleSize(h, 0);
  EXPECT_EQ(HostMemoryError(), 0);
  EXPECT_EQ(HandleBytes(h), "");
  EXPECT_EQ(ResizeCalls(), 3);
  EXPECT_EQ(ResizeCount(h), 2);
  DisposeHandle(h);
}

TEST_F(HandlesTest, BlockFaultsAndLeakCount) {
  FailNewBlockAt(2);
  void* a = HostNewBlock(4);
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(HostMemoryError(), 0);
  EXPECT_EQ(HostNewBlock(4), nullptr);
  EXPECT_EQ(HostMemoryError(), kMemFullErr);
  void* b = HostNewBlock(0);  // the fault fired once only
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(HostMemoryError(), 0);
  EXPECT_EQ(Blocks(), 2);

  FailAllNewBlocks(true);
  EXPECT_EQ(HostNewBlock(1), nullptr);
  EXPECT_EQ(HostNewBlock(1), nullptr);
  ClearFaults();
  void* c = HostNewBlock(1);
  EXPECT_NE(c, nullptr);
  EXPECT_EQ(NewBlockCalls(), 6);

  HostDisposeBlock(a);
  HostDisposeBlock(b);
  HostDisposeBlock(c);
  EXPECT_EQ(Blocks(), 0);
  EXPECT_EQ(BadDisposals(), 0);
  EXPECT_EQ(HostNewBlock(-1), nullptr);
  EXPECT_EQ(HostMemoryError(), kParamErr);
}

TEST_F(HandlesTest, BadDisposalsAreCountedNotFatal) {
  void* block = HostNewBlock(8);
  HostDisposeBlock(block);
  HostDisposeBlock(block);
  int local = 0;
  HostDisposeBlock(&local);
  HostDisposeBlock(nullptr);
  EXPECT_EQ(BadDisposals(), 2);
  EXPECT_EQ(Blocks(), 0);
}

TEST_F(HandlesTest, WritesPastTheEndAreCounted) {
  char* block = static_cast<char*>(HostNewBlock(3));
  memcpy(block, "abc", 3);
  HostDisposeBlock(block);
  EXPECT_EQ(Overruns(), 0);
  block = static_cast<char*>(HostNewBlock(3));
  memcpy(block, "abc", 4);  // the terminating zero one byte too far
  HostDisposeBlock(block);
  EXPECT_EQ(Overruns(), 1);

  HostHandle h = NewHandle("xy");
  HostLockHandle(h);
  HostSetHandleSize(h, 1);
  (*h)[1] = 'z';  // inside the old block but past the new size
  HostUnlockHandle(h);
  EXPECT_EQ(HandleBytes(h), "x");
  EXPECT_EQ(Overruns(), 2);
  DisposeHandle(h);
  EXPECT_EQ(Overruns(), 2);
}

TEST_F(HandlesTest, UnknownHandlesAreRefused) {
  char* data = nullptr;
  HostHandle bogus = &data;
  EXPECT_EQ(HostGetHandleSize(bogus), 0);
  EXPECT_EQ(HostMemoryError(), kNilHandleErr);
  HostSetHandleSize(nullptr, 4);
  EXPECT_EQ(HostMemoryError(), kNilHandleErr);
  HostLockHandle(bogus);
  EXPECT_EQ(BadHandleUses(), 3);

  HostHandle h = NewHandle("a");
  HostSetHandleSize(h, -1);
  EXPECT_EQ(HostMemoryError(), kParamErr);
  EXPECT_EQ(HandleBytes(h), "a");
  DisposeHandle(h);
  EXPECT_FALSE(IsLiveHandle(h));
}

TEST_F(HandlesTest, RecordRoutinesWorkThroughTheRecord) {
  HostCallRecord record;
  memset(&record, 0, sizeof record);
  FillRecordRoutines(record);
  HostHandle h = NewHandle("12");
  record.hostLockHandle(h);
  EXPECT_EQ(record.hostGetHandleSize(h), 2);
  record.hostUnlockHandle(h);
  record.hostSetHandleSize(h, 7);
  EXPECT_EQ(record.hostMemoryError(), 0);
  EXPECT_EQ(HostGetHandleSize(h), 7);
  void* block = record.hostNewBlock(5);
  EXPECT_EQ(Blocks(), 1);
  record.hostDisposeBlock(block);
  EXPECT_EQ(Blocks(), 0);
  EXPECT_EQ(LockCount(h), 0);
  DisposeHandle(h);
}

}  // namespace
