// The operations as the test engine carries them out: enough of a movie
// player to answer what the plug-in asks, with every object checked before
// it is used. Each takes its arguments as the operation list declares them.
#include <string.h>
#include <strings.h>

#include "media_interface/fixed_point.h"
#include "media_interface/operation_shapes.h"
#include "testengine/engine_state.h"

namespace {

enum : int16_t {
  kParamErr = -50,
  kFileNotFound = -43,
  kBadFileRef = -51,
  kNoDefaultComponent = -3000,
  kInvalidMovie = -2010
};
const uint32_t kBadComponentInstance = 0x80008001u;
const uint32_t kBadComponentSelector = 0x80008002u;
const int16_t kSpecMarker = 0x7E57;

// The operation being carried out, for the misuse log.
uint32_t current = 0;

void Misuse(const char* what) { Engine().Misuse(current, what); }

// A live movie of ours, or null with the misuse logged.
MovieObject* LiveMovie(Movie m) {
  MovieObject* movie = Engine().FindMovie(m);
  if (movie == nullptr) {
    Misuse("unknown movie");
  } else if (movie->state.disposed) {
    Misuse("disposed movie");
    return nullptr;
  }
  return movie;
}

// A pointer argument the operation needs; null is logged as a misuse.
template <typename T>
T* Needed(T* pointer) {
  if (pointer == nullptr) Misuse("null pointer argument");
  return pointer;
}

TimeValue SegmentEnd(const MovieObject& movie, const MovieDefinition& definition) {
  if (movie.state.segmentDuration < 0) return definition.spec.duration;
  return movie.state.segmentStart + movie.state.segmentDuration;
}

const MovieDefinition& DefinitionOf(const MovieObject& movie) {
  return Engine().definitions[movie.state.definition];
}

bool IsDone(const MovieObject& movie) {
  const TEMovieState& s = movie.state;
  if (s.doneOverride >= 0) return s.doneOverride != 0;
  if (movie.timeBase.flags & loopTimeBase) return false;
  if (s.rate > 0) return s.time >= SegmentEnd(movie, DefinitionOf(movie));
  if (s.rate < 0) return s.time <= s.segmentStart;
  return false;
}

// The next time in an ascending list: strictly after `time`, or at it when
// the edge counts; backwards for a negative rate. -1 when there is none.
TimeValue NextTime(const std::vector<TimeValue>& times, TimeValue time, bool edgeOK,
                   bool backwards, TimeValue* duration) {
  TimeValue found = -1;
  size_t index = 0;
  if (!backwards) {
    for (index = 0; index < times.size(); ++index) {
      if (times[index] > time || (edgeOK && times[index] == time)) {
        found = times[index];
        break;
      }
    }
  } else {
    for (size_t i = times.size(); i-- > 0;) {
      if (times[i] < time || (edgeOK && times[i] == time)) {
        found = times[i];
        index = i;
        break;
      }
    }
  }
  if (duration != nullptr) {
    *duration = (found >= 0 && index + 1 < times.size()) ? times[index + 1] - found : 0;
  }
  return found;
}

bool ListsVideo(int16_t count, const OSType* types) {
  if (types == nullptr) return false;
  for (int16_t i = 0; i < count; ++i) {
    if (types[i] == VideoMediaType) return true;
  }
  return false;
}

// The time base of a live movie, or null with the misuse logged.
TimeBaseObject* LiveTimeBase(TimeBase tb) {
  for (auto& movie : Engine().movies) {
    if (reinterpret_cast<TimeBase>(&movie->timeBase) == tb && !movie->state.disposed) return &movie->timeBase;
  }
  Misuse("unknown time base");
  return nullptr;
}

// A live picture handle, or null with the misuse logged.
PictureObject* LivePicture(Handle h) {
  PictureObject* picture = Engine().FindPicture(h);
  if (picture == nullptr) Misuse("unknown handle");
  return picture;
}

// Answers a component request on the PICT exporter.
uint32_t ExporterRequest(ComponentObject* component, const ComponentParameters* block) {
  EngineState& engine = Engine();
  if (component == nullptr) {
    Misuse("unknown component");
    return kBadComponentInstance;
  }
  if (block->flags != 0 || block->paramSize != 4) {
    Misuse("malformed parameter block");
    return static_cast<uint32_t>(kParamErr);
  }
  if (block->what == kGraphicsExportSetInputPictureSelect) {
    PicHandle picture = reinterpret_cast<PicHandle>(static_cast<uintptr_t>(block->param));
    if (engine.FindPicture(reinterpret_cast<Handle>(picture)) == nullptr) {
      Misuse("unknown picture");
      return static_cast<uint32_t>(kParamErr);
    }
    component->picture = picture;
    return 0;
  }
  if (block->what == kGraphicsExportGetInputImageDimensionsSelect) {
    Rect* out = reinterpret_cast<Rect*>(static_cast<uintptr_t>(block->param));
    PictureObject* picture = engine.FindPicture(reinterpret_cast<Handle>(component->picture));
    if (out == nullptr || picture == nullptr) return static_cast<uint32_t>(kParamErr);
    *out = Rect{0, 0, picture->height, picture->width};
    return 0;
  }
  return kBadComponentSelector;
}

namespace operations {

MEDIA_OPERATIONS(MEDIA_DECLARE_OPERATION)

// --- Files and movies

OSErr NativePathNameToFSSpec(const char* path, FSSpec* spec, int32_t flags) {
  EngineState& engine = Engine();
  FSSpec* out = Needed(spec);
  if (path == nullptr || out == nullptr) return kParamErr;
  engine.paths.push_back(path);
  for (size_t i = 0; i < engine.definitions.size(); ++i) {
    if (strcasecmp(engine.definitions[i].path.c_str(), path) != 0) continue;
    memset(spec, 0, sizeof *spec);
    spec->vRefNum = kSpecMarker;
    spec->parID = static_cast<int32_t>(i + 1);
    const char* name = path;
    for (const char* p = path; *p; ++p) {
      if (*p == '\\' || *p == '/') name = p + 1;
    }
    size_t length = strlen(name) < 63 ? strlen(name) : 63;
    spec->name[0] = static_cast<uint8_t>(length);
    memcpy(spec->name + 1, name, length);
    return 0;
  }
  return kFileNotFound;
}

OSErr OpenMovieFile(const FSSpec* spec, int16_t* resRefNum, int8_t permission) {
  EngineState& engine = Engine();
  bool haveSpec = Needed(spec) != nullptr;
  bool haveRef = Needed(resRefNum) != nullptr;
  if (!haveSpec || !haveRef) return kParamErr;
  if (spec->vRefNum != kSpecMarker || spec->parID < 1 ||
      static_cast<size_t>(spec->parID) > engine.definitions.size()) {
    return kFileNotFound;
  }
  int16_t fileRef = engine.nextFileRef++;
  engine.openFiles[fileRef] = static_cast<uint32_t>(spec->parID - 1);
  *resRefNum = fileRef;
  return 0;
}

OSErr NewMovieFromFile(Movie* m, int16_t resRefNum, int16_t* resId, uint8_t* resName, int16_t newMovieFlags,
                       Boolean* dataRefWasChanged) {
  EngineState& engine = Engine();
  if (Needed(m) == nullptr) return kParamErr;
  auto file = engine.openFiles.find(resRefNum);
  if (file == engine.openFiles.end()) {
    Misuse("file not open");
    return kBadFileRef;
  }
  const MovieDefinition& definition = engine.definitions[file->second];
  auto movie = std::make_unique<MovieObject>();
  TEMovieState& s = movie->state;
  memset(&s, 0, sizeof s);
  s.definition = file->second;
  s.segmentDuration = -1;
  s.box = definition.spec.box;
  s.volume = definition.spec.volume;
  s.doneOverride = -1;
  *m = reinterpret_cast<Movie>(movie.get());
  if (dataRefWasChanged) *dataRefWasChanged = 0;
  engine.movies.push_back(std::move(movie));
  return 0;
}

OSErr CloseMovieFile(int16_t resRefNum) {
  if (Engine().openFiles.erase(resRefNum) == 0) {
    Misuse("file not open");
    return kBadFileRef;
  }
  return 0;
}

void DisposeMovie(Movie m) {
  if (MovieObject* movie = LiveMovie(m)) movie->state.disposed = 1;
}

// --- Ports and drawing

CGrafPtr CreatePortAssociation(void* window, void* storage, int32_t flags) {
  auto port = std::make_unique<PortObject>();
  port->window = window;
  if (window == nullptr) Misuse("no window");
  CGrafPtr result = reinterpret_cast<CGrafPtr>(port.get());
  Engine().ports.push_back(std::move(port));
  return result;
}

void DestroyPortAssociation(CGrafPtr port) {
  EngineState& engine = Engine();
  PortObject* object = engine.FindPort(port);
  if (object == nullptr || object == &engine.screenPort) {
    Misuse("unknown port");
    return;
  }
  object->alive = false;
  if (engine.currentPort == port) Misuse("port still current");
}

void GetGWorld(CGrafPtr* port, GDHandle* gdh) {
  if (Needed(port)) *port = Engine().currentPort;
  if (Needed(gdh)) *gdh = Engine().currentDevice;
}

void SetGWorld(CGrafPtr port, GDHandle gdh) {
  EngineState& engine = Engine();
  if (engine.FindPort(port) == nullptr) {
    Misuse("unknown port");
    return;
  }
  engine.currentPort = port;
  engine.currentDevice = gdh;
}

void SetMovieGWorld(Movie m, CGrafPtr port, GDHandle gdh) {
  MovieObject* movie = LiveMovie(m);
  if (movie == nullptr) return;
  if (port != nullptr && Engine().FindPort(port) == nullptr) Misuse("unknown port");
  movie->state.port = port;
  movie->state.device = gdh;
}

void GetMovieBox(Movie m, Rect* box) {
  if (MovieObject* movie = LiveMovie(m)) {
    if (Needed(box)) *box = movie->state.box;
  }
}

void SetMovieBox(Movie m, const Rect* box) {
  if (MovieObject* movie = LiveMovie(m)) {
    if (Needed(box)) movie->state.box = *box;
  }
}

Boolean EmptyRect(const Rect* r) {
  if (Needed(r) == nullptr) return 1;
  return (r->bottom <= r->top || r->right <= r->left) ? 1 : 0;
}

void MovieDisplayRectChanged(const Rect* displayRect) {
  if (Needed(displayRect)) {
    Engine().displayRect = *displayRect;
    Engine().haveDisplayRect = true;
  }
}

OSErr UpdateMovie(Movie m) {
  MovieObject* movie = LiveMovie(m);
  if (movie == nullptr) return kInvalidMovie;
  ++movie->state.updates;
  return 0;
}

// --- Playing

void SetMovieActive(Movie m, Boolean active) {
  if (MovieObject* movie = LiveMovie(m)) movie->state.active = active != 0;
}

void SetMovieActiveSegment(Movie m, TimeValue startTime, TimeValue duration) {
  if (MovieObject* movie = LiveMovie(m)) {
    movie->state.segmentStart = startTime;
    movie->state.segmentDuration = duration;
  }
}

OSErr PrePrerollMovie(Movie m, TimeValue time, Fixed rate, void* proc, void* refCon) {
  return LiveMovie(m) ? 0 : kInvalidMovie;
}

OSErr PrerollMovie(Movie m, TimeValue time, Fixed rate) { return LiveMovie(m) ? 0 : kInvalidMovie; }

void SetMovieRate(Movie m, Fixed rate) {
  if (MovieObject* movie = LiveMovie(m)) movie->state.rate = rate;
}

void StopMovie(Movie m) {
  if (MovieObject* movie = LiveMovie(m)) movie->state.rate = 0;
}

// Moves the time by the movie's task step in the direction of play, within
// the segment, wrapping when the time base loops.
void MoviesTask(Movie m, int32_t maxMilliSecToUse) {
  MovieObject* movie = LiveMovie(m);
  if (movie == nullptr) return;
  TEMovieState& s = movie->state;
  ++s.tasks;
  if (s.rate == 0 || s.taskStep == 0 || IsDone(*movie)) return;
  int64_t next = static_cast<int64_t>(s.time) + (s.rate > 0 ? s.taskStep : -s.taskStep);
  TimeValue end = SegmentEnd(*movie, DefinitionOf(*movie));
  if (movie->timeBase.flags & loopTimeBase) {
    if (next >= end) next = s.segmentStart;
    if (next < s.segmentStart) next = end;
  } else {
    if (next > end) next = end;
    if (next < s.segmentStart) next = s.segmentStart;
  }
  s.time = static_cast<TimeValue>(next);
}

Boolean IsMovieDone(Movie m) {
  MovieObject* movie = LiveMovie(m);
  return movie == nullptr || IsDone(*movie) ? 1 : 0;
}

void SetMoviePlayHints(Movie m, int32_t flags, int32_t flagsMask) {
  if (MovieObject* movie = LiveMovie(m)) {
    movie->state.playHints = (movie->state.playHints & ~flagsMask) | (flags & flagsMask);
  }
}

TimeBase GetMovieTimeBase(Movie m) {
  MovieObject* movie = LiveMovie(m);
  return movie ? reinterpret_cast<TimeBase>(&movie->timeBase) : nullptr;
}

int32_t GetTimeBaseFlags(TimeBase tb) {
  TimeBaseObject* timeBase = LiveTimeBase(tb);
  return timeBase ? timeBase->flags : 0;
}

void SetTimeBaseFlags(TimeBase tb, int32_t flags) {
  if (TimeBaseObject* timeBase = LiveTimeBase(tb)) timeBase->flags = flags;
}

// --- Time and sound

TimeValue GetMovieDuration(Movie m) {
  MovieObject* movie = LiveMovie(m);
  return movie ? DefinitionOf(*movie).spec.duration : 0;
}

TimeScale GetMovieTimeScale(Movie m) {
  MovieObject* movie = LiveMovie(m);
  return movie ? DefinitionOf(*movie).spec.timeScale : 0;
}

TimeValue GetMovieTime(Movie m, void* timeRecord) {
  MovieObject* movie = LiveMovie(m);
  return movie ? movie->state.time : 0;
}

void SetMovieTimeValue(Movie m, TimeValue time) {
  if (MovieObject* movie = LiveMovie(m)) movie->state.time = time;
}

int16_t GetMovieVolume(Movie m) {
  MovieObject* movie = LiveMovie(m);
  return movie ? movie->state.volume : 0;
}

void SetMovieVolume(Movie m, int16_t volume) {
  if (MovieObject* movie = LiveMovie(m)) movie->state.volume = volume;
}

void GetMovieNextInterestingTime(Movie m, int16_t interestingTimeFlags, int16_t numMediaTypes,
                                 const OSType* whichMediaTypes, TimeValue time, Fixed rate,
                                 TimeValue* interestingTime, TimeValue* interestingDuration) {
  MovieObject* movie = LiveMovie(m);
  TimeValue* next = Needed(interestingTime);
  if (movie == nullptr || next == nullptr) return;
  const MovieDefinition& definition = DefinitionOf(*movie);
  bool edgeOK = (interestingTimeFlags & nextTimeEdgeOK) != 0;
  bool backwards = rate < 0;
  *next = -1;
  if (interestingDuration) *interestingDuration = 0;
  if ((interestingTimeFlags & nextTimeMediaSample) && ListsVideo(numMediaTypes, whichMediaTypes)) {
    *next = NextTime(definition.samples, time, edgeOK, backwards, interestingDuration);
  } else if (interestingTimeFlags & nextTimeStep) {
    *next = NextTime(definition.steps, time, edgeOK, backwards, interestingDuration);
  }
}

void X2FixDispatch(Fixed* result, const double* x) {
  Fixed* out = Needed(result);
  const double* in = Needed(x);
  if (out && in) *out = media_interface::FixedFromDouble(*in);
}

// --- Pictures and memory

PicHandle GetMoviePict(Movie m, TimeValue time) {
  if (LiveMovie(m) == nullptr) return nullptr;
  EngineState& engine = Engine();
  auto picture = std::make_unique<PictureObject>();
  picture->data = engine.pictureBytes;
  picture->master = picture->data.data();
  picture->width = engine.pictureWidth;
  picture->height = engine.pictureHeight;
  PicHandle handle = reinterpret_cast<PicHandle>(&picture->master);
  engine.pictures.push_back(std::move(picture));
  return handle;
}

void KillPicture(PicHandle pic) {
  if (PictureObject* picture = LivePicture(reinterpret_cast<Handle>(pic))) {
    if (picture->locked) Misuse("picture still locked");
    picture->alive = false;
  }
}

void HLock(Handle h) {
  if (PictureObject* picture = LivePicture(h)) picture->locked = true;
}

void HUnlock(Handle h) {
  if (PictureObject* picture = LivePicture(h)) picture->locked = false;
}

int32_t GetHandleSize(Handle h) {
  PictureObject* picture = LivePicture(h);
  return picture ? static_cast<int32_t>(picture->data.size()) : 0;
}

void BlockMoveData(const void* source, void* destination, int32_t count) {
  if (count <= 0) return;
  if (source == nullptr || destination == nullptr) {
    Misuse("null pointer argument");
    return;
  }
  memmove(destination, source, static_cast<size_t>(count));
}

// --- The graphics exporter

OSErr OpenADefaultComponent(OSType componentType, OSType componentSubType, ComponentInstance* ci) {
  if (Needed(ci) == nullptr) return kParamErr;
  if (componentType != GraphicsExporterComponentType || componentSubType != kQTFileTypePicture) {
    return kNoDefaultComponent;
  }
  auto component = std::make_unique<ComponentObject>();
  *ci = reinterpret_cast<ComponentInstance>(component.get());
  Engine().components.push_back(std::move(component));
  return 0;
}

OSErr CloseComponent(ComponentInstance ci) {
  ComponentObject* component = Engine().FindComponent(ci);
  if (component == nullptr) {
    Misuse("unknown component");
    return static_cast<OSErr>(kBadComponentInstance & 0xFFFF);
  }
  component->alive = false;
  return 0;
}

// Every request is recorded with the block's bytes as they were.
ComponentResult ComponentRequest(ComponentInstance ci, ComponentParameters* params) {
  TERequest request;
  memset(&request, 0, sizeof request);
  request.instance = ci;
  if (Needed(params) == nullptr) return kParamErr;
  memcpy(request.bytes, params, sizeof request.bytes);
  request.result = static_cast<ComponentResult>(ExporterRequest(Engine().FindComponent(ci), params));
  Engine().requests.push_back(request);
  return request.result;
}

}  // namespace operations

uint32_t Carry(uint32_t selector, const uint32_t* words) {
  switch (selector) {
#define TEST_ENGINE_OPERATION(name, value, result, parameters) \
  case value:                                                  \
    return media_interface::CallWithWords(operations::name, words);
    MEDIA_OPERATIONS(TEST_ENGINE_OPERATION)
#undef TEST_ENGINE_OPERATION
  }
  Misuse("unknown selector");
  return static_cast<uint32_t>(kParamErr);
}

}  // namespace

uint32_t Dispatch(uint32_t selector, const uint32_t* args) {
  try {
    EngineState& engine = Engine();
    TECall record;
    memset(&record, 0, sizeof record);
    record.selector = selector;
    int count = media_interface::ArgumentCount(selector);
    for (int i = 0; i < count && i < kTestEngineLogArgs; ++i) record.args[i] = args[i];

    uint32_t result;
    if (!engine.TakeFailure(selector, &result)) {
      current = selector;
      result = Carry(selector, args);
    }
    record.result = result;
    engine.log.push_back(record);
    return result;
  } catch (...) {
    return static_cast<uint32_t>(static_cast<int32_t>(kParamErr));
  }
}
