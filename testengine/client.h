// Test-side handle on the scripted test engine. It loads the same file the
// gate binds (same path, same module, so the state is shared) and wraps the
// engine's control table.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "media_interface/operation_shapes.h"
#include "testengine/control.h"

namespace testengine {

using Call = TECall;
using MovieState = TEMovieState;
using Request = TERequest;

struct MovieSpec {
  TimeValue duration = 600;
  TimeScale timeScale = 600;
  Rect box = {0, 0, 240, 320};
  std::vector<TimeValue> sampleTimes;
  std::vector<TimeValue> stepTimes;
  int16_t volume = 256;
};

// The file beside the running program: where the gate finds it first.
inline std::string BesideProgram(const char* fileName) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length < MAX_PATH ? length : 0);
  size_t cut = folder.find_last_of("\\/");
  folder = cut == std::string::npos ? std::string() : folder.substr(0, cut + 1);
  return folder + fileName;
}

class TestEngine {
 public:
  // QuickTime.qts beside the running program.
  TestEngine() : TestEngine(BesideProgram("QuickTime.qts").c_str()) {}
  explicit TestEngine(const char* path) : module_(LoadLibraryA(path)) { Resolve(); }
  // The module the gate holds (quicktime/gate.h: libraryHandle).
  explicit TestEngine(HMODULE module) {
    char path[MAX_PATH];
    DWORD length = module ? GetModuleFileNameA(module, path, MAX_PATH) : 0;
    if (length > 0 && length < MAX_PATH) module_ = LoadLibraryA(path);
    Resolve();
  }
  ~TestEngine() {
    if (module_) FreeLibrary(module_);
  }
  TestEngine(const TestEngine&) = delete;
  TestEngine& operator=(const TestEngine&) = delete;

  bool ok() const { return control_ != nullptr; }
  HMODULE module() const { return module_; }
  const TEControl& control() const { return *control_; }

  void Reset() { control_->Reset(); }

  // --- The call log
  std::vector<Call> Log() const {
    std::vector<Call> calls(control_->LogSize());
    for (uint32_t i = 0; i < calls.size(); ++i) control_->LogEntry(i, &calls[i]);
    return calls;
  }
  void ClearLog() { control_->ClearLog(); }
  size_t Count(uint32_t selector) const {
    size_t count = 0;
    for (const Call& call : Log()) count += call.selector == selector ? 1 : 0;
    return count;
  }
  std::vector<Call> CallsOf(uint32_t selector) const {
    std::vector<Call> calls;
    for (const Call& call : Log()) {
      if (call.selector == selector) calls.push_back(call);
    }
    return calls;
  }
  std::vector<uint32_t> Selectors() const {
    std::vector<uint32_t> selectors;
    for (const Call& call : Log()) selectors.push_back(call.selector);
    return selectors;
  }
  // The log as operation names, one per line, for readable failures.
  std::string Trace() const {
    std::string text;
    for (const Call& call : Log()) text += std::string(media_interface::OperationName(call.selector)) + "\n";
    return text;
  }
  static const char* Name(uint32_t selector) { return media_interface::OperationName(selector); }

  // --- Movies
  bool DefineMovie(const std::string& path, const MovieSpec& spec) {
    TEMovieSpec raw = {spec.duration, spec.timeScale, spec.box,
                       spec.sampleTimes.data(), static_cast<uint32_t>(spec.sampleTimes.size()),
                       spec.stepTimes.data(), static_cast<uint32_t>(spec.stepTimes.size()),
                       spec.volume};
    return control_->DefineMovie(path.c_str(), &raw) != 0;
  }
  std::vector<Movie> Movies() const {
    std::vector<Movie> movies;
    for (uint32_t i = 0, n = control_->MovieCount(); i < n; ++i) {
      movies.push_back(control_->MovieAt(i));
    }
    return movies;
  }
  // The newest live movie, or null.
  Movie CurrentMovie() const {
    uint32_t n = control_->MovieCount();
    return n ? control_->MovieAt(n - 1) : nullptr;
  }
  MovieState State(Movie movie) const {
    MovieState state = {};
    control_->MovieState(movie, &state);
    return state;
  }
  TimeValue MovieTime(Movie movie) const { return State(movie).time; }
  Fixed MovieRate(Movie movie) const { return State(movie).rate; }
  bool IsDisposed(Movie movie) const { return State(movie).disposed != 0; }
  void SetMovieTimeFromTest(Movie movie, TimeValue time) { control_->SetMovieTime(movie, time); }
  void SetDone(Movie movie, bool done) { control_->SetDone(movie, done ? 1 : 0); }
  void ClearDone(Movie movie) { control_->SetDone(movie, -1); }
  // Each MoviesTask at a non-zero rate moves the time by this many units.
  void SetTaskStep(Movie movie, TimeValue step) { control_->SetTaskStep(movie, step); }

  // --- Files and drawing
  size_t OpenFileCount() const { return control_->OpenFileCount(); }
  size_t PortCount() const { return control_->PortCount(); }
  HWND PortWindow(CGrafPtr port) const { return static_cast<HWND>(control_->PortWindow(port)); }
  CGrafPtr CurrentGWorld() const {
    CGrafPtr port = nullptr;
    control_->CurrentGWorld(&port, nullptr);
    return port;
  }
  GDHandle CurrentDevice() const {
    GDHandle device = nullptr;
    control_->CurrentGWorld(nullptr, &device);
    return device;
  }
  CGrafPtr ScreenPort() const { return control_->ScreenPort(); }
  GDHandle MainDevice() const { return control_->MainDevice(); }
  bool LastDisplayRect(Rect* out) const { return control_->LastDisplayRect(out) != 0; }
  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (uint32_t i = 0, n = control_->PathCount(); i < n; ++i) paths.push_back(control_->PathAt(i));
    return paths;
  }

  // --- Pictures and the graphics exporter
  void SetPictureBytes(const std::vector<uint8_t>& bytes) {
    control_->SetPictureBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
  }
  void SetPictureSize(int16_t width, int16_t height) { control_->SetPictureSize(width, height); }
  size_t OutstandingPictures() const { return control_->OutstandingPictures(); }
  size_t OpenComponents() const { return control_->OpenComponentCount(); }
  std::vector<Request> ComponentRequests() const {
    std::vector<Request> requests(control_->RequestCount());
    for (uint32_t i = 0; i < requests.size(); ++i) control_->RequestAt(i, &requests[i]);
    return requests;
  }

  // --- Scripted failures: the call answers `value` and does nothing else.
  void FailAt(uint32_t selector, uint32_t nth, uint32_t value) {
    control_->FailAt(selector, nth, value);
  }
  void FailAlways(uint32_t selector, uint32_t value) { control_->FailAlways(selector, value); }
  void ClearFailures() { control_->ClearFailures(); }

  // Calls with objects the engine never gave out or already took back.
  std::vector<std::string> Misuses() const {
    std::vector<std::string> misuses;
    for (uint32_t i = 0, n = control_->MisuseCount(); i < n; ++i) {
      misuses.push_back(control_->MisuseAt(i));
    }
    return misuses;
  }

 private:
  void Resolve() {
    if (module_ == nullptr) return;
    auto proc = reinterpret_cast<TestEngineControlProc>(
        reinterpret_cast<void*>(GetProcAddress(module_, kTestEngineControlExport)));
    const TEControl* control = proc ? proc() : nullptr;
    if (control && control->version == kTestEngineControlVersion) control_ = control;
  }

  HMODULE module_ = nullptr;
  const TEControl* control_ = nullptr;
};

}  // namespace testengine
