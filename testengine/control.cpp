// The control table a test reaches through the export "TestEngineControl",
// and the C entry the assembler dispatcher calls.
#include <string.h>

#include "testengine/engine_state.h"

extern "C" __attribute__((force_align_arg_pointer)) uint32_t EngineDispatch(
    uint32_t selector, const uint32_t* args) {
  return Dispatch(selector, args);
}

namespace {

void Reset() { Engine().Reset(); }
uint32_t LogSize() { return static_cast<uint32_t>(Engine().log.size()); }
int LogEntry(uint32_t index, TECall* out) {
  if (index >= Engine().log.size() || out == nullptr) return 0;
  *out = Engine().log[index];
  return 1;
}
void ClearLog() { Engine().log.clear(); }

int DefineMovie(const char* path, const TEMovieSpec* spec) {
  if (path == nullptr || spec == nullptr) return 0;
  try {
    MovieDefinition definition;
    definition.path = path;
    definition.spec = *spec;
    if (spec->sampleTimes) {
      definition.samples.assign(spec->sampleTimes, spec->sampleTimes + spec->sampleCount);
    }
    if (spec->stepTimes) {
      definition.steps.assign(spec->stepTimes, spec->stepTimes + spec->stepCount);
    }
    Engine().definitions.push_back(std::move(definition));
    MovieDefinition& stored = Engine().definitions.back();
    stored.spec.sampleTimes = stored.samples.data();
    stored.spec.sampleCount = static_cast<uint32_t>(stored.samples.size());
    stored.spec.stepTimes = stored.steps.data();
    stored.spec.stepCount = static_cast<uint32_t>(stored.steps.size());
    return 1;
  } catch (...) {
    return 0;
  }
}

uint32_t MovieCount() {
  uint32_t count = 0;
  for (auto& movie : Engine().movies) count += movie->state.disposed ? 0 : 1;
  return count;
}
Movie MovieAt(uint32_t index) {
  for (auto& movie : Engine().movies) {
    if (movie->state.disposed) continue;
    if (index-- == 0) return reinterpret_cast<Movie>(movie.get());
  }
  return nullptr;
}
int MovieState(Movie movie, TEMovieState* out) {
  MovieObject* object = Engine().FindMovie(movie);
  if (object == nullptr || out == nullptr) return 0;
  *out = object->state;
  out->timeBaseFlags = object->timeBase.flags;
  return 1;
}
int SetMovieTime(Movie movie, TimeValue time) {
  MovieObject* object = Engine().FindMovie(movie);
  if (object == nullptr) return 0;
  object->state.time = time;
  return 1;
}
int SetDone(Movie movie, int32_t done) {
  MovieObject* object = Engine().FindMovie(movie);
  if (object == nullptr) return 0;
  object->state.doneOverride = done < 0 ? -1 : (done != 0);
  return 1;
}
int SetTaskStep(Movie movie, TimeValue step) {
  MovieObject* object = Engine().FindMovie(movie);
  if (object == nullptr) return 0;
  object->state.taskStep = step;
  return 1;
}

uint32_t OpenFileCount() { return static_cast<uint32_t>(Engine().openFiles.size()); }
uint32_t PortCount() {
  uint32_t count = 0;
  for (auto& port : Engine().ports) count += port->alive ? 1 : 0;
  return count;
}
void* PortWindow(CGrafPtr port) {
  PortObject* object = Engine().FindPort(port);
  return object ? object->window : nullptr;
}
void CurrentGWorld(CGrafPtr* port, GDHandle* device) {
  if (port) *port = Engine().currentPort;
  if (device) *device = Engine().currentDevice;
}
CGrafPtr ScreenPort() { return reinterpret_cast<CGrafPtr>(&Engine().screenPort); }
GDHandle MainDevice() { return reinterpret_cast<GDHandle>(&Engine().mainDevice); }
int LastDisplayRect(Rect* out) {
  if (!Engine().haveDisplayRect || out == nullptr) return 0;
  *out = Engine().displayRect;
  return 1;
}

void SetPictureBytes(const uint8_t* bytes, uint32_t size) {
  try {
    Engine().pictureBytes.assign(bytes, bytes + (bytes ? size : 0));
  } catch (...) {
  }
}
void SetPictureSize(int16_t width, int16_t height) {
  Engine().pictureWidth = width;
  Engine().pictureHeight = height;
}
uint32_t OutstandingPictures() {
  uint32_t count = 0;
  for (auto& picture : Engine().pictures) count += picture->alive ? 1 : 0;
  return count;
}
uint32_t OpenComponentCount() {
  uint32_t count = 0;
  for (auto& component : Engine().components) count += component->alive ? 1 : 0;
  return count;
}
uint32_t RequestCount() { return static_cast<uint32_t>(Engine().requests.size()); }
int RequestAt(uint32_t index, TERequest* out) {
  if (index >= Engine().requests.size() || out == nullptr) return 0;
  *out = Engine().requests[index];
  return 1;
}

void FailAt(uint32_t selector, uint32_t nth, uint32_t value) {
  if (nth == 0) return;
  try {
    Engine().failures.push_back(FailureRule{selector, nth, value});
  } catch (...) {
  }
}
void FailAlways(uint32_t selector, uint32_t value) {
  try {
    Engine().failures.push_back(FailureRule{selector, 0, value});
  } catch (...) {
  }
}
void ClearFailures() { Engine().failures.clear(); }

uint32_t MisuseCount() { return static_cast<uint32_t>(Engine().misuses.size()); }
const char* MisuseAt(uint32_t index) {
  return index < Engine().misuses.size() ? Engine().misuses[index].c_str() : nullptr;
}
uint32_t PathCount() { return static_cast<uint32_t>(Engine().paths.size()); }
const char* PathAt(uint32_t index) {
  return index < Engine().paths.size() ? Engine().paths[index].c_str() : nullptr;
}

const TEControl kControl = {
    kTestEngineControlVersion,
    Reset,
    LogSize, LogEntry, ClearLog,
    DefineMovie, MovieCount, MovieAt, MovieState, SetMovieTime, SetDone, SetTaskStep,
    OpenFileCount, PortCount, PortWindow, CurrentGWorld, ScreenPort, MainDevice, LastDisplayRect,
    SetPictureBytes, SetPictureSize, OutstandingPictures, OpenComponentCount, RequestCount,
    RequestAt,
    FailAt, FailAlways, ClearFailures,
    MisuseCount, MisuseAt, PathCount, PathAt};

}  // namespace

extern "C" const TEControl* TestEngineControl() { return &kControl; }
