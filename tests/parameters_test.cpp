// CountParameters, CopyParameter and SetResultText over the stand-in host's
// relocatable handles, each argument text split once into CallParameters.
#include "host/parameters.h"

#include <gtest/gtest.h>

#include <string.h>

#include "host/host_record.h"
#include "host/is_error.h"
#include "standin/handles.h"

namespace {

class Parameters : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&record, 0, sizeof record);
    standin::FillRecordRoutines(record);
    SetCurrentHostRecord(&record);
    standin::ClearFaults();
    blocks = standin::OutstandingBlocks();
  }
  void TearDown() override {
    for (HostHandle h : handles) {
      EXPECT_EQ(standin::LockCount(h), 0) << "handle left locked";
      standin::DisposeHandle(h);
    }
    EXPECT_EQ(standin::OutstandingBlocks(), blocks);
    standin::ClearFaults();
    SetCurrentHostRecord(nullptr);
  }
  HostHandle Text(const std::string& bytes) {
    handles.push_back(standin::NewHandle(bytes));
    return handles.back();
  }
  static int16_t Count(HostHandle h) {
    CallParameters parameters(h);
    return CountParameters(parameters);
  }
  // The copy's bytes up to its terminator, and the block's own size check.
  std::string Copy(HostHandle h, int16_t n, bool* isNull = nullptr) {
    CallParameters parameters(h);
    char* copy = CopyParameter(parameters, n);
    if (isNull) *isNull = copy == nullptr;
    if (!copy) return "<null>";
    std::string text = copy;
    HostDisposeBlock(copy);
    return text;
  }
  HostCallRecord record;
  std::vector<HostHandle> handles;
  int blocks = 0;
};

TEST_F(Parameters, Counts) {
  EXPECT_EQ(Count(nullptr), 0);
  EXPECT_EQ(Count(Text("")), 0);
  EXPECT_EQ(Count(Text("a")), 1);
  EXPECT_EQ(Count(Text("|")), 2);
  EXPECT_EQ(Count(Text("a||b")), 3);
  EXPECT_EQ(Count(Text(std::string(70000, '|'))), 32767);
}

TEST_F(Parameters, CopiesFieldsWithATerminator) {
  HostHandle h = Text(" a |b||");
  EXPECT_EQ(Copy(h, 1), " a ");
  EXPECT_EQ(Copy(h, 2), "b");
  EXPECT_EQ(Copy(h, 3), "");
  EXPECT_EQ(Copy(h, 4), "");
  bool isNull = false;
  for (int16_t n : {0, -1, 5, 32767, -32768}) {
    EXPECT_EQ(Copy(h, n, &isNull), "<null>") << n;
    EXPECT_TRUE(isNull);
  }
  EXPECT_EQ(Copy(Text(""), 1, &isNull), "<null>");
  EXPECT_EQ(Copy(nullptr, 1, &isNull), "<null>");
}

TEST_F(Parameters, EmptyFieldIsAOneByteBlock) {
  CallParameters parameters(Text("|x"));
  standin::ResetCounters();
  char* copy = CopyParameter(parameters, 1);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy[0], 0);
  HostDisposeBlock(copy);
  EXPECT_EQ(standin::Overruns(), 0);
}

TEST_F(Parameters, ZeroByteEndsTheCopyButTheBlockHasTheFullLength) {
  CallParameters parameters(Text(std::string("ab\0cd|e", 7)));
  standin::ResetCounters();
  char* copy = CopyParameter(parameters, 1);
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "ab");
  // The block is 6 bytes: writing its last byte is no overrun.
  copy[5] = 'x';
  HostDisposeBlock(copy);
  EXPECT_EQ(standin::Overruns(), 0);
}

TEST_F(Parameters, NoHostMemoryGivesNull) {
  HostHandle h = Text("abc");
  standin::FailNewBlockAt(1);
  bool isNull = false;
  EXPECT_EQ(Copy(h, 1, &isNull), "<null>");
  EXPECT_TRUE(isNull);
  EXPECT_EQ(Copy(h, 1), "abc");
}

// The text is locked once for the whole call and read where it lies: every
// field comes from that one split, and the handle is free again after.
TEST_F(Parameters, OneLockForAllTheArguments) {
  HostHandle h = Text("a|b|c|d|e|f|g|h|i|j|k|l");
  {
    CallParameters parameters(h);
    EXPECT_EQ(standin::LockCount(h), 1);
    EXPECT_EQ(CountParameters(parameters), 12);
    for (int16_t n = 1; n <= 12; ++n) {
      ParameterCopy copy(parameters, n);
      EXPECT_EQ(std::string(copy.required()), std::string(1, static_cast<char>('a' + n - 1))) << n;
    }
    EXPECT_EQ(standin::LockCount(h), 1);
  }
  EXPECT_EQ(standin::LockCount(h), 0);
  EXPECT_EQ(standin::UnbalancedUnlocks(), 0);
}

TEST_F(Parameters, ParameterCopyGivesItsBlockBack) {
  CallParameters parameters(Text("abc"));
  {
    ParameterCopy copy(parameters, 1);
    EXPECT_STREQ(copy.required(), "abc");
    EXPECT_EQ(standin::OutstandingBlocks(), blocks + 1);
  }
  EXPECT_EQ(standin::OutstandingBlocks(), blocks);
  standin::FailNewBlockAt(1);
  ParameterCopy missing(parameters, 1);
  EXPECT_THROW(missing.required(), std::bad_alloc);
}

TEST_F(Parameters, ResultTextIsWrittenWithoutTerminator) {
  HostHandle result = Text("previous answer");
  SetResultText(result, "12:34", 5);
  EXPECT_EQ(standin::HandleBytes(result), "12:34");
  SetResultText(result, "", 0);
  EXPECT_EQ(standin::HandleBytes(result), "");
  // The data really moves on resize: the write must go through the handle.
  std::string big(5000, 'z');
  SetResultText(result, big.data(), static_cast<int32_t>(big.size()));
  EXPECT_EQ(standin::HandleBytes(result), big);
}

TEST_F(Parameters, FailedResizeLeavesTheResult) {
  HostHandle result = Text("previous");
  standin::FailResizeAt(1);
  SetResultText(result, "new text", 8);
  EXPECT_EQ(standin::HandleBytes(result), "previous");
}

TEST_F(Parameters, ErrorCodesAreDecimalText) {
  HostHandle result = Text("");
  WriteErrorCode(result, 74005);
  EXPECT_EQ(standin::HandleBytes(result), "74005");
  WriteErrorCode(result, -2095);
  EXPECT_EQ(standin::HandleBytes(result), "-2095");
}

TEST_F(Parameters, ReportFrame) {
  HostHandle result = Text("");
  int cleanups = 0;
  RunReportFrame(result, [] { RaiseError(77102); }, [&] { ++cleanups; });
  EXPECT_EQ(standin::HandleBytes(result), "77102");
  RunReportFrame(result, [] { throw std::bad_alloc(); }, [&] { ++cleanups; });
  EXPECT_EQ(standin::HandleBytes(result), "80008");
  RunReportFrame(result, [] { throw 42; });
  EXPECT_EQ(standin::HandleBytes(result), "80008");
  EXPECT_EQ(cleanups, 2);
  // Success writes nothing of its own.
  HostHandle untouched = Text("keep");
  RunReportFrame(untouched, [] {}, [&] { ++cleanups; });
  EXPECT_EQ(standin::HandleBytes(untouched), "keep");
  EXPECT_EQ(cleanups, 2);
  // A throwing cleanup does not escape.
  RunReportFrame(result, [] { RaiseError(74001); }, [] { throw 1; });
  EXPECT_EQ(standin::HandleBytes(result), "74001");
}

}  // namespace
