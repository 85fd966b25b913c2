// The gate entries against the test engine beside this program: arguments
// and results pass unchanged, the stack and the callee-saved registers come
// back as they were, and the adapters build what the engine expects.
#include <gtest/gtest.h>
#include <windows.h>

#include "media_interface/operations.h"
#include "quicktime/adapters.h"
#include "quicktime/gate.h"
#include "testengine/client.h"

using testengine::Call;
using testengine::TestEngine;

// Calls fn with `count` argument words as a C caller would and reports how
// far ESP moved over the call; `kept` has bit 0 when ESP came back to where
// it was before the call and bit 1 when EBX, ESI, EDI and EBP survived.
extern "C" uint32_t ProbeCall(void* fn, const uint32_t* args, uint32_t count, int32_t* espMoved,
                              uint32_t* registersKept);
asm(R"(
        .data
        .p2align 2
probeFrame:  .long 0
probeBefore: .long 0
        .text
        .globl _ProbeCall
_ProbeCall:
        pushl %ebp
        pushl %ebx
        pushl %esi
        pushl %edi
        movl 20(%esp), %eax
        movl 24(%esp), %esi
        movl 28(%esp), %edx
        movl %esp, probeFrame
1:      testl %edx, %edx
        jz 2f
        decl %edx
        pushl (%esi,%edx,4)
        jmp 1b
2:      movl %esp, probeBefore
        movl $0x0B0B0B0B, %ebx
        movl $0x05050505, %esi
        movl $0x0D0D0D0D, %edi
        movl $0x0E0E0E0E, %ebp
        call *%eax
        movl %esp, %edx
        xorl %ecx, %ecx
        cmpl probeBefore, %edx
        sete %cl
        cmpl $0x0B0B0B0B, %ebx
        jne 3f
        cmpl $0x05050505, %esi
        jne 3f
        cmpl $0x0D0D0D0D, %edi
        jne 3f
        cmpl $0x0E0E0E0E, %ebp
        jne 3f
        orl $2, %ecx
3:      movl probeFrame, %esp
        subl probeBefore, %edx
        movl 32(%esp), %eax
        movl %edx, (%eax)
        movl 36(%esp), %eax
        movl %ecx, (%eax)
        popl %edi
        popl %esi
        popl %ebx
        popl %ebp
        ret
)");

namespace {

uint32_t Word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

class GateEntries : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine.ok()) << "test engine missing beside the program";
    engine.Reset();
    testengine::MovieSpec spec;
    spec.duration = 1200;
    spec.timeScale = 600;
    spec.box = Rect{0, 0, 240, 320};
    spec.sampleTimes = {0, 20, 40, 60};
    spec.volume = 200;
    ASSERT_TRUE(engine.DefineMovie("C:\\clips\\a.mov", spec));
  }

  Movie OpenMovie() {
    FSSpec spec;
    int16_t ref = 0;
    Movie movie = nullptr;
    int16_t resId = 0;
    Boolean changed = 1;
    EXPECT_EQ(NativePathNameToFSSpec("C:\\clips\\a.mov", &spec, 0), 0);
    EXPECT_EQ(OpenMovieFile(&spec, &ref, fsRdPerm), 0);
    EXPECT_EQ(NewMovieFromFile(&movie, ref, &resId, nullptr, 0, &changed), 0);
    engine.ClearLog();
    return movie;
  }

  Call Last() {
    std::vector<Call> log = engine.Log();
    EXPECT_FALSE(log.empty());
    return log.empty() ? Call{} : log.back();
  }

  TestEngine engine;
};

TEST_F(GateEntries, FirstOperationBindsTheEngineBesideTheProgram) {
  // The engine object above loaded the same file; the gate found it loaded.
  EXPECT_EQ(NativePathNameToFSSpec("C:\\nowhere.mov", nullptr, 0), -50);
  EXPECT_EQ(loadHook, nullptr);
  EXPECT_EQ(libraryHandle, engine.module());
  EXPECT_EQ(dispatchEntry,
            reinterpret_cast<GateCode>(GetProcAddress(libraryHandle, "theQuickTimeDispatcher")));
  EXPECT_NE(callComponentEntry, nullptr);
  EXPECT_NE(callComponentEntry, QuickTimeUnavailable);
  EXPECT_NE(callComponentWithStorageEntry, callComponentEntry);
}

TEST_F(GateEntries, SixArgumentsAndOutputsPassThrough) {
  FSSpec spec;
  int16_t ref = 0;
  Movie movie = nullptr;
  int16_t resId = 7;
  uint8_t name[4] = {0};
  Boolean changed = 1;
  ASSERT_EQ(NativePathNameToFSSpec("C:\\clips\\a.mov", &spec, 0), 0);
  ASSERT_EQ(OpenMovieFile(&spec, &ref, fsRdPerm), 0);
  EXPECT_NE(ref, 0);
  ASSERT_EQ(NewMovieFromFile(&movie, ref, &resId, name, 0x1234, &changed), 0);
  EXPECT_EQ(movie, engine.CurrentMovie());
  EXPECT_EQ(changed, 0);

  Call call = Last();
  EXPECT_EQ(call.selector, static_cast<uint32_t>(kSel_NewMovieFromFile));
  EXPECT_EQ(call.args[0], Word(&movie));
  EXPECT_EQ(call.args[1] & 0xFFFF, static_cast<uint16_t>(ref));
  EXPECT_EQ(call.args[2], Word(&resId));
  EXPECT_EQ(call.args[3], Word(name));
  EXPECT_EQ(call.args[4] & 0xFFFF, 0x1234u);
  EXPECT_EQ(call.args[5], Word(&changed));
  EXPECT_EQ(call.args[6], 0u);
}

TEST_F(GateEntries, EightArgumentsPassThrough) {
  Movie movie = OpenMovie();
  OSType types[1] = {VideoMediaType};
  TimeValue next = 0, duration = 0;
  GetMovieNextInterestingTime(movie, nextTimeMediaSample | nextTimeEdgeOK, 1, types, 20,
                              0x10000, &next, &duration);
  EXPECT_EQ(next, 20);
  EXPECT_EQ(duration, 20);
  Call call = Last();
  EXPECT_EQ(call.selector, static_cast<uint32_t>(kSel_GetMovieNextInterestingTime));
  uint32_t expected[8] = {Word(movie), 0x4001, 1, Word(types), 20, 0x10000, Word(&next),
                          Word(&duration)};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(call.args[i] & (i == 1 || i == 2 ? 0xFFFFu : 0xFFFFFFFFu), expected[i]) << i;
  }
}

TEST_F(GateEntries, FiveArgumentsAndStatusResult) {
  Movie movie = OpenMovie();
  int refCon = 0;
  EXPECT_EQ(PrePrerollMovie(movie, 300, 0x18000, nullptr, &refCon), 0);
  Call call = Last();
  EXPECT_EQ(call.args[0], Word(movie));
  EXPECT_EQ(call.args[1], 300u);
  EXPECT_EQ(call.args[2], 0x18000u);
  EXPECT_EQ(call.args[3], 0u);
  EXPECT_EQ(call.args[4], Word(&refCon));

  engine.FailAt(kSel_PrerollMovie, 1, static_cast<uint32_t>(-108));
  EXPECT_EQ(PrerollMovie(movie, 300, 0x18000), -108);
}

TEST_F(GateEntries, SixteenBitResultsComeFromTheLowHalf) {
  Movie movie = OpenMovie();
  EXPECT_EQ(GetMovieVolume(movie), 200);
  SetMovieVolume(movie, -256);
  EXPECT_EQ(GetMovieVolume(movie), -256);
  EXPECT_EQ(Last().result, 0xFFFFFF00u);

  engine.FailAt(kSel_GetMovieVolume, 1, 0x1234ABCDu);
  EXPECT_EQ(GetMovieVolume(movie), static_cast<int16_t>(0xABCD));
  EXPECT_EQ(Last().result, 0x1234ABCDu);
}

TEST_F(GateEntries, BooleanResultsComeFromTheLowByte) {
  Rect empty = {10, 10, 10, 20};
  Rect full = {10, 10, 20, 20};
  EXPECT_EQ(EmptyRect(&empty), 1);
  EXPECT_EQ(EmptyRect(&full), 0);
  EXPECT_EQ(Last().args[0], Word(&full));

  engine.FailAt(kSel_EmptyRect, 1, 0x100);
  EXPECT_EQ(EmptyRect(&empty), 0);
  engine.FailAt(kSel_EmptyRect, 1, 0xFFFFFF01u);
  EXPECT_EQ(EmptyRect(&full), 1);
}

TEST_F(GateEntries, ThirtyTwoBitResultsPassWhole) {
  Movie movie = OpenMovie();
  EXPECT_EQ(GetMovieDuration(movie), 1200);
  EXPECT_EQ(GetMovieTimeScale(movie), 600);
  SetMovieTimeValue(movie, -5);
  EXPECT_EQ(GetMovieTime(movie, nullptr), -5);
  engine.FailAt(kSel_GetMovieTimeBase, 1, 0x87654321u);
  EXPECT_EQ(Word(GetMovieTimeBase(movie)), 0x87654321u);
}

TEST_F(GateEntries, StackAndRegistersComeBackUnchanged) {
  Movie movie = OpenMovie();
  OSType types[1] = {VideoMediaType};
  TimeValue next = 0;
  struct Probe {
    void* fn;
    std::vector<uint32_t> args;
  };
  const Probe probes[] = {
      {reinterpret_cast<void*>(&StopMovie), {Word(movie)}},
      {reinterpret_cast<void*>(&GetMovieVolume), {Word(movie)}},
      {reinterpret_cast<void*>(&SetMovieActiveSegment), {Word(movie), 0, 600}},
      {reinterpret_cast<void*>(&PrePrerollMovie), {Word(movie), 0, 0x10000, 0, 0}},
      {reinterpret_cast<void*>(&GetMovieNextInterestingTime),
       {Word(movie), 0x4001, 1, Word(types), 0, 0, Word(&next), 0}},
  };
  for (const Probe& probe : probes) {
    for (int i = 0; i < 200; ++i) {
      int32_t moved = -1;
      uint32_t kept = 0;
      ProbeCall(probe.fn, probe.args.data(), static_cast<uint32_t>(probe.args.size()), &moved,
                &kept);
      ASSERT_EQ(moved, 0) << "call " << i;
      ASSERT_EQ(kept, 3u) << "call " << i;
    }
  }
  Call call = Last();
  EXPECT_EQ(call.selector, static_cast<uint32_t>(kSel_GetMovieNextInterestingTime));
  EXPECT_EQ(call.args[6], Word(&next));
}

TEST_F(GateEntries, X2FixConvertsThroughTheEngine) {
  EXPECT_EQ(X2Fix(1.0), 0x00010000);
  Call call = Last();
  EXPECT_EQ(call.selector, static_cast<uint32_t>(kSel_X2FixDispatch));
  EXPECT_NE(call.args[0], 0u);
  EXPECT_NE(call.args[1], 0u);
  EXPECT_EQ(X2Fix(0.5), 0x8000);
  EXPECT_EQ(X2Fix(-1.5), -0x18000);
  // To the nearest 1/65536, halves away from zero, as the real engine.
  EXPECT_EQ(X2Fix(1.0 / 65536.0 / 4.0), 0);
  EXPECT_EQ(X2Fix(1.0 / 65536.0 * 0.75), 1);
  EXPECT_EQ(X2Fix(-1.0 / 65536.0 / 2.0), -1);
  EXPECT_EQ(X2Fix(32767.99999), 0x7FFFFFFF);
  EXPECT_EQ(X2Fix(1e10), INT32_MAX);
  EXPECT_EQ(X2Fix(-1e10), INT32_MIN);
  EXPECT_EQ(X2Fix(-32768.0), INT32_MIN);
}

TEST_F(GateEntries, ExporterRequestsCarryTheExactBlock) {
  Movie movie = OpenMovie();
  engine.SetPictureSize(320, 240);
  PicHandle picture = GetMoviePict(movie, 0);
  ASSERT_NE(picture, nullptr);
  ComponentInstance exporter = nullptr;
  ASSERT_EQ(OpenADefaultComponent(GraphicsExporterComponentType, kQTFileTypePicture, &exporter), 0);

  EXPECT_EQ(GraphicsExportSetInputPicture(exporter, picture), 0);
  Rect dimensions = {1, 1, 1, 1};
  EXPECT_EQ(GraphicsExportGetInputImageDimensions(exporter, &dimensions), 0);
  EXPECT_EQ(dimensions.top, 0);
  EXPECT_EQ(dimensions.left, 0);
  EXPECT_EQ(dimensions.bottom, 240);
  EXPECT_EQ(dimensions.right, 320);

  std::vector<testengine::Request> requests = engine.ComponentRequests();
  ASSERT_EQ(requests.size(), 2u);
  uint32_t handle = Word(picture), rect = Word(&dimensions);
  const uint8_t first[8] = {0, 4, 0x2F, 0, uint8_t(handle), uint8_t(handle >> 8),
                            uint8_t(handle >> 16), uint8_t(handle >> 24)};
  const uint8_t second[8] = {0, 4, 0x3B, 0, uint8_t(rect), uint8_t(rect >> 8),
                             uint8_t(rect >> 16), uint8_t(rect >> 24)};
  EXPECT_EQ(0, memcmp(requests[0].bytes, first, 8));
  EXPECT_EQ(0, memcmp(requests[1].bytes, second, 8));
  EXPECT_EQ(requests[0].instance, exporter);
  EXPECT_EQ(engine.CallsOf(kSel_ComponentRequest)[0].args[0], Word(exporter));

  // The adapter hands back the engine's 32-bit answer unchanged.
  engine.FailAt(kSel_ComponentRequest, 1, 0x80008002u);
  EXPECT_EQ(static_cast<uint32_t>(GraphicsExportSetInputPicture(exporter, picture)), 0x80008002u);

  EXPECT_EQ(CloseComponent(exporter), 0);
  KillPicture(picture);
  EXPECT_EQ(engine.OpenComponents(), 0u);
  EXPECT_EQ(engine.OutstandingPictures(), 0u);
  EXPECT_TRUE(engine.Misuses().empty());
}

}  // namespace
