// Faults from outside: the host out of memory at every block and at the
// result, the engine failing at each operation in turn, and the clipboard
// held by another program. Each sweep prints its cases and answers as a
// table on standard output.
#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <set>

#include "clipboard_text.h"
#include "media_interface/operation_shapes.h"
#include "plugin_fixture.h"

namespace {

using fixture::kMoviePath;
using fixture::PluginTest;

const std::string kPath = kMoviePath;
const std::string kPlayArgs = kPath + "|1|0.5|00:00:02.00|00:00:08.00|10|10|160|120";

// Rows of one sweep, printed as a Markdown table when the sweep ends.
class Table {
 public:
  explicit Table(std::string title) : title_(std::move(title)) {}
  ~Table() {
    printf("\n%s\n\n| Function | Arguments | Fault | Answer | Afterwards |\n|---|---|---|---|---|\n", title_.c_str());
    for (const auto& row : rows_) {
      printf("| %s | %s | %s | %s | %s |\n", row[0].c_str(), row[1].c_str(), row[2].c_str(), row[3].c_str(),
             row[4].c_str());
    }
    fflush(stdout);
  }
  void Add(const std::string& function, const std::string& args, const std::string& fault,
           const std::string& answer, const std::string& afterwards) {
    rows_.push_back({function, Shown(args), fault, answer.empty() ? "(nothing)" : answer, afterwards});
  }

 private:
  static std::string Shown(const std::string& args) {
    if (args.empty()) return "";
    std::string shown = "`" + args + "`";
    size_t at = 0;
    while ((at = shown.find('|', at)) != std::string::npos) {
      shown.replace(at, 1, "\\|");
      at += 2;
    }
    return shown;
  }
  std::string title_;
  std::vector<std::vector<std::string>> rows_;
};

// True for an operation whose result is void: EAX means nothing after it.
bool ReturnsNothing(uint32_t selector) {
  switch (selector) {
#define MEDIA_OPERATION_VOID(name, selector, result, parameters) \
  case selector:                                                 \
    return media_interface::shapes::name::returnsNothing;
    MEDIA_OPERATIONS(MEDIA_OPERATION_VOID)
#undef MEDIA_OPERATION_VOID
  }
  return false;
}

// What the engine answers instead: a failure status, a null object, the
// other truth value, no value; void operations simply do nothing.
struct Failure {
  uint32_t value;
  std::string how;
};

Failure FailureFor(uint32_t selector, uint32_t success) {
  switch (selector) {
    case kSel_NativePathNameToFSSpec: case kSel_OpenMovieFile:
      return {static_cast<uint32_t>(-43), "status -43"};
    case kSel_CloseMovieFile:
      return {static_cast<uint32_t>(-51), "status -51"};
    case kSel_NewMovieFromFile:
      return {static_cast<uint32_t>(-2048), "status -2048"};
    case kSel_OpenADefaultComponent:
      return {static_cast<uint32_t>(-3000), "status -3000"};
    case kSel_ComponentRequest: case kSel_CloseComponent:
      return {static_cast<uint32_t>(-50), "status -50"};
    case kSel_PrePrerollMovie: case kSel_PrerollMovie: case kSel_UpdateMovie:
      return {static_cast<uint32_t>(-108), "status -108"};
    case kSel_CreatePortAssociation: case kSel_GetMovieTimeBase: case kSel_GetMoviePict:
      return {0, "null"};
    case kSel_EmptyRect: case kSel_IsMovieDone:
      return {success ? 0u : 1u, success ? "false" : "true"};
    case kSel_GetMovieDuration: case kSel_GetMovieTimeScale: case kSel_GetTimeBaseFlags:
    case kSel_GetMovieTime: case kSel_GetHandleSize: case kSel_GetMovieVolume:
      return {0, "0"};
  }
  return {0, ReturnsNothing(selector) ? "does nothing" : "0"};
}

// The distinct operations of a log, in the order of their first call, with
// what they answered then.
std::vector<std::pair<uint32_t, uint32_t>> FirstCalls(const std::vector<testengine::Call>& log) {
  std::vector<std::pair<uint32_t, uint32_t>> calls;
  std::set<uint32_t> seen;
  for (const auto& call : log) {
    if (seen.insert(call.selector).second) calls.push_back({call.selector, call.result});
  }
  return calls;
}

class Faults : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    SetUpEngine();
  }

  void TearDown() override {
    EXPECT_TRUE(OpenClipboard(nullptr)) << "the clipboard was left open";
    CloseClipboard();
    PluginTest::TearDown();
  }

  void SetUpEngine() {
    engine->Reset();
    ASSERT_TRUE(engine->DefineMovie(kMoviePath, fixture::ClipSpec()));
    std::vector<uint8_t> picture(600);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 5 + 1);
    engine->SetPictureBytes(picture);
  }

  // No session at all: the engine starts afresh.
  void Fresh() {
    Call("Vantoro-Stop");
    SetUpEngine();
    standin::ClearFaults();
  }

  static void PutText(const char* text) { ASSERT_TRUE(PutClipboardText(text)); }
  static std::string Text() { return ClipboardText(); }


  static bool HasPicture() {
    if (!OpenClipboard(nullptr)) return false;
    bool has = GetClipboardData(RegisterClipboardFormatA("Mac-PICT")) != nullptr;
    CloseClipboard();
    return has;
  }

  bool Playing() { return Call("Vantoro-GetRate") != "74005"; }

  // The plug-in holds either a whole session or nothing; the engine was
  // never handed an object it did not give out. Answers a short note.
  std::string ExpectConsistent(bool shouldPlay, const std::string& context) {
    std::vector<std::string> misuses = engine->Misuses();
    EXPECT_TRUE(misuses.empty()) << context << ": " << misuses.front();
    bool playing = Playing();
    EXPECT_EQ(playing, shouldPlay) << context;
    if (playing) {
      EXPECT_TRUE(Subclassed()) << context;
      EXPECT_EQ(engine->Movies().size(), 1u) << context;
      EXPECT_EQ(engine->OpenFileCount(), 1u) << context;
      EXPECT_EQ(engine->PortCount(), 1u) << context;
    } else {
      ExpectNothingLeft(context);
    }
    EXPECT_EQ(Call("Vantoro-Version", "platform"), "Windows") << context << ": the next call works";
    return playing ? "playing" : "no session, nothing left";
  }

  void ExpectNothingLeft(const std::string& context) {
    EXPECT_TRUE(engine->Movies().empty()) << context;
    EXPECT_EQ(engine->OpenFileCount(), 0u) << context;
    EXPECT_EQ(engine->PortCount(), 0u) << context;
    EXPECT_FALSE(Subclassed()) << context;
    EXPECT_EQ(engine->CurrentGWorld(), engine->ScreenPort()) << context;
    standin::HostWindows::ClearSeen(document);
    windows.Pump(100);
    EXPECT_EQ(standin::HostWindows::CountSeen(document, WM_TIMER), 0) << context << ": a timer was left";
  }
};

// --- The host out of memory

struct FunctionCase {
  const char* name;
  std::string args;
  bool playing;  // a movie plays when the call comes
};

const FunctionCase kFunctionCases[] = {
    {"Vantoro-GetDuration", "", true},
    {"Vantoro-GetDuration", kPath, true},
    {"Vantoro-GetRate", "", true},
    {"Vantoro-GetTime", "", true},
    {"Vantoro-GetTime", "x", true},
    {"Vantoro-GetVideoFrame", "", true},
    {"Vantoro-GetVideoFrame", "", false},
    {"Vantoro-GetVideoSize", "", true},
    {"Vantoro-GetVideoSize", kPath, false},
    {"Vantoro-GetVolume", "", true},
    {"Vantoro-Play", kPlayArgs, true},
    {"Vantoro-Play", "C:\\Movies\\missing.mov|0|1", true},
    {"Vantoro-SetRate", "0.5", true},
    {"Vantoro-SetRate", "1", false},
    {"Vantoro-SetTime", "00:00:02.00", true},
    {"Vantoro-SetTime", "00:00:11.00", true},
    {"Vantoro-SetVolume", "100", true},
    {"Vantoro-Stop", "", true},
    {"Vantoro-Version", "platform", false},
    {"Vantoro-Version", "", false},
};

enum class HostFault { kNewBlock, kResize };

class HostMemory : public Faults {
 protected:
  struct Outcome {
    std::string answer;
    bool touched = false;
    int blocks = 0;   // HostNewBlock calls the function made
    int resizes = 0;  // result resizes it attempted
    // The playing movie's state was left as it was.
    bool movieUnchanged = true;
  };

  Outcome Run(const FunctionCase& c, HostFault fault, int n) {
    Outcome out;
    Fresh();
    if (c.playing) {
      EXPECT_EQ(Play(), "");
    }
    PutText("before");
    int outstanding = standin::OutstandingBlocks();
    standin::ResetCounters();
    if (fault == HostFault::kNewBlock) standin::FailNewBlockAt(n);
    if (fault == HostFault::kResize) standin::FailResizeAt(n);
    Movie movie = engine->CurrentMovie();
    TEMovieState before = engine->State(movie);
    out.answer = plugin.Call(plugin.NumberOf(c.name), c.args, &out.touched);
    if (movie && !engine->IsDisposed(movie)) {
      TEMovieState after = engine->State(movie);
      out.movieUnchanged =
          after.time == before.time && after.rate == before.rate && after.volume == before.volume;
    }
    out.blocks = standin::NewBlockCalls();
    out.resizes = standin::ResizeCalls();
    standin::ClearFaults();

    std::string context = std::string(c.name) + "(" + c.args + ") fault " + std::to_string(n);
    const standin::CallReport& report = plugin.LastCall();
    EXPECT_EQ(report.parameterLocks, 0) << context;
    EXPECT_EQ(report.resultLocks, 0) << context;
    EXPECT_FALSE(report.parameterChanged) << context;
    EXPECT_FALSE(report.recordChanged) << context;
    EXPECT_EQ(standin::OutstandingBlocks(), outstanding) << context << ": a block was not given back";
    EXPECT_EQ(standin::BadDisposals(), 0) << context;
    EXPECT_EQ(standin::BadHandleUses(), 0) << context;
    EXPECT_EQ(standin::UnbalancedUnlocks(), 0) << context;
    EXPECT_EQ(standin::Overruns(), 0) << context;
    return out;
  }

  // Whether the session plays after the call, given its answer.
  static bool ShouldPlay(const FunctionCase& c, const std::string& answer) {
    std::string name = c.name;
    if (name == "Vantoro-Stop") return false;
    if (name == "Vantoro-Play") return answer.empty();
    return c.playing;
  }
};

TEST_F(HostMemory, EveryBlockOfEveryFunctionRefused) {
  Table table("Host memory: the nth HostNewBlock of the call refused");
  for (const FunctionCase& c : kFunctionCases) {
    Outcome normal = Run(c, HostFault::kNewBlock, 0);
    ExpectConsistent(ShouldPlay(c, normal.answer), std::string(c.name) + " normally");
    table.Add(c.name, c.args, "none", normal.answer, std::to_string(normal.blocks) + " blocks");
    for (int n = 1;; ++n) {
      Outcome faulted = Run(c, HostFault::kNewBlock, n);
      std::string context = std::string(c.name) + "(" + c.args + ") block " + std::to_string(n);
      if (faulted.blocks < n) {
        EXPECT_EQ(n, normal.blocks + 1) << context;
        EXPECT_EQ(faulted.answer, normal.answer) << context << ": a fault not reached changes nothing";
        break;
      }
      ASSERT_LE(n, normal.blocks) << context << ": more blocks than without faults";
      // A refused block is never answered as success: out of memory, the
      // bad path for Play's path copy, or "1.0" from Version, which has no
      // codes. A failed Set changes nothing.
      std::string expected = "80008";
      if (std::string(c.name) == "Vantoro-Play" && n == 1) expected = "72008";
      if (std::string(c.name) == "Vantoro-Version") expected = "1.0";
      EXPECT_EQ(faulted.answer, expected) << context;
      EXPECT_TRUE(faulted.movieUnchanged) << context << ": the movie was changed";
      EXPECT_TRUE(faulted.touched || faulted.answer.empty()) << context;
      std::string after = ExpectConsistent(ShouldPlay(c, faulted.answer), context);
      table.Add(c.name, c.args, "block " + std::to_string(n), faulted.answer, after);
    }
  }
}

TEST_F(HostMemory, ResultThatCannotBeResizedStaysUntouched) {
  Table table("Host memory: the result handle cannot be resized");
  for (const FunctionCase& c : kFunctionCases) {
    Outcome normal = Run(c, HostFault::kResize, 0);
    ExpectConsistent(ShouldPlay(c, normal.answer), std::string(c.name) + " normally");
    std::string context = std::string(c.name) + "(" + c.args + ") resize";
    ASSERT_LE(normal.resizes, 1) << context << ": the result is written once";
    if (normal.resizes == 0) {
      table.Add(c.name, c.args, "resize", normal.answer, "no result written: nothing to refuse");
      continue;
    }
    Outcome faulted = Run(c, HostFault::kResize, 1);
    EXPECT_EQ(faulted.resizes, 1) << context;
    EXPECT_FALSE(faulted.touched) << context << ": the result keeps what the host put there";
    // The failed write changes nothing else: the call did its work.
    std::string after = ExpectConsistent(ShouldPlay(c, normal.answer), context);
    table.Add(c.name, c.args, "resize 1 (would answer " + (normal.answer.empty() ? "nothing" : normal.answer) + ")",
              faulted.touched ? faulted.answer : "(untouched)", after);
  }
}

// --- The engine failing at each operation in turn

TEST_F(Faults, EngineFailingAtEachOperationOfPlay) {
  Table table("Engine: the first call of each operation of Play fails (arguments `" + kPlayArgs + "`)");
  Fresh();
  ASSERT_EQ(Call("Vantoro-Play", kPlayArgs), "");
  auto operations = FirstCalls(engine->Log());
  ASSERT_GE(operations.size(), 20u) << engine->Trace();
  for (const auto& op : operations) {
    Fresh();
    Failure failure = FailureFor(op.first, op.second);
    engine->FailAt(op.first, 1, failure.value);
    std::string answer = Call("Vantoro-Play", kPlayArgs);
    std::string name = testengine::TestEngine::Name(op.first);
    std::string context = name + " " + failure.how;
    EXPECT_TRUE(answer.empty() || answer.size() == 5) << context << " answered " << answer;
    if (!ReturnsNothing(op.first) && answer.empty()) {
      // Only values that cannot be told from a success may pass unnoticed.
      // Without a time base the movie cannot loop; it plays once.
      EXPECT_TRUE(op.first == kSel_EmptyRect || op.first == kSel_GetMovieDuration ||
                  op.first == kSel_GetMovieTimeScale || op.first == kSel_GetTimeBaseFlags ||
                  op.first == kSel_UpdateMovie || op.first == kSel_GetMovieTimeBase)
          << context << ": a failure answered as success";
    }
    if (op.first == kSel_GetMovieTimeBase) {
      EXPECT_EQ(engine->Count(kSel_GetTimeBaseFlags), 0u) << "no flags of a null time base";
    }
    std::string after = ExpectConsistent(answer.empty(), context);
    if (answer.empty()) {
      // The session works and ends cleanly.
      windows.Pump(60);
      EXPECT_NE(Call("Vantoro-GetTime"), "74005") << context;
      Call("Vantoro-Stop");
      after += ", then stopped: " + ExpectConsistent(false, context + " stopped");
    }
    table.Add("Vantoro-Play", "", name + " " + failure.how, answer, after);
  }
}

// Closing a playing movie cannot fail from the plug-in's side: whatever the
// engine refuses, the window gets its procedure back, the timer stops and
// the session ends.
TEST_F(Faults, EngineFailingAtEachOperationOfStop) {
  Table table("Engine: the first call of each operation of Stop (closing a playing movie) fails");
  Fresh();
  ASSERT_EQ(Play(), "");
  engine->ClearLog();
  Call("Vantoro-Stop");
  auto operations = FirstCalls(engine->Log());
  ASSERT_GE(operations.size(), 5u) << engine->Trace();
  for (const auto& op : operations) {
    Fresh();
    ASSERT_EQ(Play(), "");
    Failure failure = FailureFor(op.first, op.second);
    engine->FailAt(op.first, 1, failure.value);
    std::string answer = Call("Vantoro-Stop");
    std::string name = testengine::TestEngine::Name(op.first);
    std::string context = "Stop: " + name + " " + failure.how;
    EXPECT_EQ(answer, "") << context;
    EXPECT_FALSE(Subclassed()) << context;
    EXPECT_FALSE(Playing()) << context;
    standin::HostWindows::ClearSeen(document);
    windows.Pump(100);
    EXPECT_EQ(standin::HostWindows::CountSeen(document, WM_TIMER), 0) << context;
    std::string note = "window and timer given back";
    if (op.first == kSel_DisposeMovie) note += "; movie kept: the engine refused its release";
    if (op.first == kSel_CloseMovieFile) note += "; file kept: the engine refused its release";
    if (op.first == kSel_DestroyPortAssociation) note += "; port kept: the engine refused its release";
    if (op.first != kSel_DisposeMovie) {
      EXPECT_TRUE(engine->Movies().empty()) << context;
    }
    if (op.first != kSel_CloseMovieFile) {
      EXPECT_EQ(engine->OpenFileCount(), 0u) << context;
    }
    // A port that was never made current again cannot be destroyed cleanly;
    // the engine says so, the plug-in goes on.
    if (op.first != kSel_SetGWorld) {
      EXPECT_TRUE(engine->Misuses().empty()) << context << ": " << engine->Misuses().front();
    }
    engine->ClearFailures();
    // The next movie plays.
    EXPECT_EQ(Play(), "") << context;
    EXPECT_TRUE(Playing()) << context;
    table.Add("Vantoro-Stop", "", name + " " + failure.how, answer, note + "; next Play works");
  }
}

// Path queries and the frame capture, each operation failing in turn, with
// a movie playing that must not be disturbed.
class EngineQueries : public Faults {
 protected:
  struct Leftovers {
    size_t movies, files, pictures, components;
  };
  Leftovers Count() {
    return {engine->Movies().size(), engine->OpenFileCount(), engine->OutstandingPictures(),
            engine->OpenComponents()};
  }

  // Each operation of one successful call fails once; answers and leftovers.
  void Sweep(const char* function, const std::string& args, Table& table) {
    Fresh();
    ASSERT_EQ(Play(), "");
    engine->ClearLog();
    std::string normal = Call(function, args);
    auto operations = FirstCalls(engine->Log());
    ASSERT_FALSE(operations.empty());
    table.Add(function, args, "none", normal, "");
    for (const auto& op : operations) {
      Fresh();
      ASSERT_EQ(Play(), "");
      Movie playing = engine->CurrentMovie();
      TimeValue time = engine->MovieTime(playing);
      PutText("before");
      Leftovers before = Count();
      Failure failure = FailureFor(op.first, op.second);
      engine->FailAt(op.first, 1, failure.value);
      std::string answer = Call(function, args);
      std::string name = testengine::TestEngine::Name(op.first);
      std::string context = std::string(function) + ": " + name + " " + failure.how;
      // A status is reported by its code; a value the engine could not give
      // reads as 0 (the box of a size, the duration or scale of a time).
      bool value = !answer.empty() && answer.size() != 5;
      EXPECT_TRUE(answer == normal || answer.size() == 5 || (value && failure.value == 0)) << context << " answered " << answer;
      if (op.first == kSel_GetMovieBox) {
        EXPECT_EQ(answer, "0,0") << context;
      }
      if (op.first == kSel_GetMovieDuration || op.first == kSel_GetMovieTimeScale) {
        EXPECT_EQ(answer, "00:00:00.00") << context;
      }

      // What is left is only what the engine itself refused to release.
      Leftovers after = Count();
      std::string note;
      auto check = [&](size_t was, size_t is, uint32_t release, const char* what) {
        if (op.first == release && is == was + 1) {
          note += std::string(what) + " kept: the engine refused its release; ";
        } else {
          EXPECT_EQ(is, was) << context << ": " << what << " left behind";
        }
      };
      check(before.movies, after.movies, kSel_DisposeMovie, "movie");
      check(before.files, after.files, kSel_CloseMovieFile, "file");
      check(before.pictures, after.pictures, kSel_KillPicture, "picture");
      check(before.components, after.components, kSel_CloseComponent, "exporter");
      EXPECT_FALSE(engine->IsDisposed(playing)) << context;
      EXPECT_EQ(engine->MovieTime(playing), time) << context << ": the playing movie was disturbed";
      // A picture the engine would not unlock, it will not kill either.
      if (op.first != kSel_HUnlock) {
        EXPECT_TRUE(engine->Misuses().empty()) << context << ": " << engine->Misuses().front();
      }
      if (std::string(function) == "Vantoro-GetVideoFrame") {
        if (answer.empty()) {
          EXPECT_TRUE(HasPicture()) << context;
          note += "frame on the clipboard";
        } else {
          EXPECT_EQ(Text(), "before") << context << ": the clipboard changed on a failure";
          note += "clipboard unchanged";
        }
      } else {
        note += answer == normal ? "answered as usual" : "no temporary movie or file left";
      }
      EXPECT_TRUE(Playing()) << context;
      table.Add(function, args, name + " " + failure.how, answer, note);
      engine->ClearFailures();
      // Whatever the engine kept is the engine's; the session still closes.
      Call("Vantoro-Stop");
    }
  }
};

TEST_F(EngineQueries, DurationByPath) {
  Table table("Engine: the first call of each operation of GetDuration by path fails (a movie plays)");
  Sweep("Vantoro-GetDuration", kPath, table);
}

TEST_F(EngineQueries, VideoSizeByPath) {
  Table table("Engine: the first call of each operation of GetVideoSize by path fails (a movie plays)");
  Sweep("Vantoro-GetVideoSize", kPath, table);
}

TEST_F(EngineQueries, VideoFrame) {
  Table table("Engine: the first call of each operation of GetVideoFrame fails");
  Sweep("Vantoro-GetVideoFrame", "", table);
}

// --- The clipboard and another process

class OtherProcess : public Faults {
 protected:
  // Starts the holder in the given mode and waits until it holds on.
  bool StartHolder(const char* mode) {
    char names[2][64];
    snprintf(names[0], sizeof names[0], "vantoro-holder-ready-%lu", GetCurrentProcessId());
    snprintf(names[1], sizeof names[1], "vantoro-holder-release-%lu", GetCurrentProcessId());
    ready_ = CreateEventA(nullptr, TRUE, FALSE, names[0]);
    release_ = CreateEventA(nullptr, TRUE, FALSE, names[1]);
    std::string command = "\"" + testengine::BesideProgram("clipboard_holder.exe") + "\" " + mode + " " +
                          names[0] + " " + names[1];
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    HANDLE both[2] = {ready_, process_};
    return WaitForMultipleObjects(2, both, FALSE, 10000) == WAIT_OBJECT_0;
  }

  // Lets the holder go and waits for it to end; answers its exit code.
  DWORD StopHolder() {
    DWORD code = 99;
    if (release_) SetEvent(release_);
    if (process_) {
      WaitForSingleObject(process_, 10000);
      GetExitCodeProcess(process_, &code);
      CloseHandle(process_);
    }
    for (HANDLE h : {ready_, release_}) {
      if (h) CloseHandle(h);
    }
    process_ = ready_ = release_ = nullptr;
    return code;
  }

  void TearDown() override {
    StopHolder();
    Faults::TearDown();
  }

  HANDLE process_ = nullptr;
  HANDLE ready_ = nullptr;
  HANDLE release_ = nullptr;
};

TEST_F(OtherProcess, ClipboardKeptOpenByAnotherProgram) {
  Table table("Clipboard and another process");
  ASSERT_EQ(Play(), "");
  PutText("before");
  ASSERT_TRUE(StartHolder("open"));
  EXPECT_FALSE(OpenClipboard(nullptr)) << "the holder has it open";
  std::string answer = Call("Vantoro-GetVideoFrame");
  EXPECT_EQ(answer, "73003");
  EXPECT_EQ(engine->OutstandingPictures(), 0u);
  EXPECT_EQ(engine->OpenComponents(), 0u);
  EXPECT_TRUE(Playing());
  EXPECT_EQ(StopHolder(), 0u);
  EXPECT_EQ(Text(), "before") << "nothing was put on the clipboard";
  table.Add("Vantoro-GetVideoFrame", "", "clipboard kept open by another process", answer,
            "clipboard unchanged, picture and exporter released");
  // Released again, the next capture works.
  answer = Call("Vantoro-GetVideoFrame");
  EXPECT_EQ(answer, "");
  EXPECT_TRUE(HasPicture());
  table.Add("Vantoro-GetVideoFrame", "", "the same, after that process let go", answer, "frame on the clipboard");
}

TEST_F(OtherProcess, ClipboardOwnedByAnotherProgramThatEnds) {
  Table table("Clipboard owned by another process");
  ASSERT_EQ(Play(), "");
  ASSERT_TRUE(StartHolder("own"));
  ASSERT_EQ(Text(), "held");
  std::string answer = Call("Vantoro-GetVideoFrame");
  EXPECT_EQ(answer, "");
  EXPECT_TRUE(HasPicture());
  EXPECT_EQ(Text(), "<none>") << "the other program's text was replaced";
  EXPECT_EQ(StopHolder(), 0u);
  bool kept = HasPicture();
  EXPECT_TRUE(kept) << "the frame went with the other program's window";
  table.Add("Vantoro-GetVideoFrame", "", "clipboard owned (closed) by another process, which then ends", answer,
            kept ? "frame on the clipboard, still there after that process ended" : "frame lost when it ended");
}

}  // namespace
