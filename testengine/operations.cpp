// The operations as the test engine carries them out: enough of a movie
// player to answer what the plug-in asks, with every object checked before
// it is used.
#include <math.h>
#include <string.h>
#include <strings.h>

#include "testengine/engine_state.h"
#include "testengine/selectors.h"

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

template <typename T>
T* Pointer(uint32_t word) {
  return reinterpret_cast<T*>(static_cast<uintptr_t>(word));
}

uint32_t Status(int16_t status) { return static_cast<uint32_t>(static_cast<int32_t>(status)); }
int16_t Short(uint32_t word) { return static_cast<int16_t>(word & 0xFFFF); }
uint32_t Word(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

struct Call {
  EngineState& engine;
  uint32_t selector;
  const uint32_t* args;

  MovieObject* MovieArg(int index) {
    MovieObject* movie = engine.FindMovie(Pointer<MovieRecord>(args[index]));
    if (movie == nullptr) {
      engine.Misuse(selector, "unknown movie");
    } else if (movie->state.disposed) {
      engine.Misuse(selector, "disposed movie");
      return nullptr;
    }
    return movie;
  }
  template <typename T>
  T* Out(int index) {
    T* out = Pointer<T>(args[index]);
    if (out == nullptr) engine.Misuse(selector, "null pointer argument");
    return out;
  }
};

TimeValue SegmentEnd(const MovieObject& movie, const MovieDefinition& definition) {
  if (movie.state.segmentDuration < 0) return definition.spec.duration;
  return movie.state.segmentStart + movie.state.segmentDuration;
}

bool IsDone(const MovieObject& movie, const MovieDefinition& definition) {
  const TEMovieState& s = movie.state;
  if (s.doneOverride >= 0) return s.doneOverride != 0;
  if (movie.timeBase.flags & loopTimeBase) return false;
  if (s.rate > 0) return s.time >= SegmentEnd(movie, definition);
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

bool ListsVideo(uint32_t countWord, const OSType* types) {
  int16_t count = Short(countWord);
  if (types == nullptr) return false;
  for (int16_t i = 0; i < count; ++i) {
    if (types[i] == VideoMediaType) return true;
  }
  return false;
}

Fixed ToFixed(double x) {
  if (isnan(x)) return 0;
  double scaled = trunc(x * 65536.0);
  if (scaled >= 2147483647.0) return INT32_MAX;
  if (scaled <= -2147483648.0) return INT32_MIN;
  return static_cast<Fixed>(scaled);
}

uint32_t Carry(Call& c) {
  EngineState& engine = c.engine;
  const uint32_t* args = c.args;
  switch (c.selector) {
    case kSel_NativePathNameToFSSpec: {
      const char* path = Pointer<const char>(args[0]);
      FSSpec* spec = c.Out<FSSpec>(1);
      if (path == nullptr || spec == nullptr) return Status(kParamErr);
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
      return Status(kFileNotFound);
    }
    case kSel_OpenMovieFile: {
      const FSSpec* spec = c.Out<const FSSpec>(0);
      int16_t* ref = c.Out<int16_t>(1);
      if (spec == nullptr || ref == nullptr) return Status(kParamErr);
      if (spec->vRefNum != kSpecMarker || spec->parID < 1 ||
          static_cast<size_t>(spec->parID) > engine.definitions.size()) {
        return Status(kFileNotFound);
      }
      int16_t fileRef = engine.nextFileRef++;
      engine.openFiles[fileRef] = static_cast<uint32_t>(spec->parID - 1);
      *ref = fileRef;
      return 0;
    }
    case kSel_NewMovieFromFile: {
      Movie* out = c.Out<Movie>(0);
      if (out == nullptr) return Status(kParamErr);
      auto file = engine.openFiles.find(Short(args[1]));
      if (file == engine.openFiles.end()) {
        engine.Misuse(c.selector, "file not open");
        return Status(kBadFileRef);
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
      *out = reinterpret_cast<Movie>(movie.get());
      if (Boolean* changed = Pointer<Boolean>(args[5])) *changed = 0;
      engine.movies.push_back(std::move(movie));
      return 0;
    }
    case kSel_CloseMovieFile:
      if (engine.openFiles.erase(Short(args[0])) == 0) {
        engine.Misuse(c.selector, "file not open");
        return Status(kBadFileRef);
      }
      return 0;
    case kSel_DisposeMovie:
      if (MovieObject* m = c.MovieArg(0)) m->state.disposed = 1;
      return 0;
    case kSel_CreatePortAssociation: {
      auto port = std::make_unique<PortObject>();
      port->window = Pointer<void>(args[0]);
      if (port->window == nullptr) engine.Misuse(c.selector, "no window");
      CGrafPtr result = reinterpret_cast<CGrafPtr>(port.get());
      engine.ports.push_back(std::move(port));
      return Word(result);
    }
    case kSel_DestroyPortAssociation: {
      CGrafPtr port = Pointer<GrafPortRecord>(args[0]);
      PortObject* object = engine.FindPort(port);
      if (object == nullptr || object == &engine.screenPort) {
        engine.Misuse(c.selector, "unknown port");
        return 0;
      }
      object->alive = false;
      if (engine.currentPort == port) engine.Misuse(c.selector, "port still current");
      return 0;
    }
    case kSel_GetGWorld: {
      CGrafPtr* port = c.Out<CGrafPtr>(0);
      GDHandle* device = c.Out<GDHandle>(1);
      if (port) *port = engine.currentPort;
      if (device) *device = engine.currentDevice;
      return 0;
    }
    case kSel_SetGWorld: {
      CGrafPtr port = Pointer<GrafPortRecord>(args[0]);
      if (engine.FindPort(port) == nullptr) {
        engine.Misuse(c.selector, "unknown port");
        return 0;
      }
      engine.currentPort = port;
      engine.currentDevice = reinterpret_cast<GDHandle>(static_cast<uintptr_t>(args[1]));
      return 0;
    }
    case kSel_SetMovieGWorld:
      if (MovieObject* m = c.MovieArg(0)) {
        CGrafPtr port = Pointer<GrafPortRecord>(args[1]);
        if (port != nullptr && engine.FindPort(port) == nullptr) {
          engine.Misuse(c.selector, "unknown port");
        }
        m->state.port = port;
        m->state.device = reinterpret_cast<GDHandle>(static_cast<uintptr_t>(args[2]));
      }
      return 0;
    case kSel_GetMovieBox:
      if (MovieObject* m = c.MovieArg(0)) {
        if (Rect* box = c.Out<Rect>(1)) *box = m->state.box;
      }
      return 0;
    case kSel_SetMovieBox:
      if (MovieObject* m = c.MovieArg(0)) {
        if (const Rect* box = c.Out<const Rect>(1)) m->state.box = *box;
      }
      return 0;
    case kSel_EmptyRect: {
      const Rect* r = c.Out<const Rect>(0);
      if (r == nullptr) return 1;
      return (r->bottom <= r->top || r->right <= r->left) ? 1 : 0;
    }
    case kSel_MovieDisplayRectChanged:
      if (const Rect* r = c.Out<const Rect>(0)) {
        engine.displayRect = *r;
        engine.haveDisplayRect = true;
      }
      return 0;
    case kSel_UpdateMovie:
      if (MovieObject* m = c.MovieArg(0)) {
        ++m->state.updates;
        return 0;
      }
      return Status(kInvalidMovie);
    case kSel_SetMovieActive:
      if (MovieObject* m = c.MovieArg(0)) m->state.active = static_cast<uint8_t>(args[1]) != 0;
      return 0;
    case kSel_SetMovieActiveSegment:
      if (MovieObject* m = c.MovieArg(0)) {
        m->state.segmentStart = static_cast<TimeValue>(args[1]);
        m->state.segmentDuration = static_cast<TimeValue>(args[2]);
      }
      return 0;
    case kSel_PrePrerollMovie:
    case kSel_PrerollMovie:
      return c.MovieArg(0) ? 0 : Status(kInvalidMovie);
    case kSel_SetMovieRate:
      if (MovieObject* m = c.MovieArg(0)) m->state.rate = static_cast<Fixed>(args[1]);
      return 0;
    case kSel_StopMovie:
      if (MovieObject* m = c.MovieArg(0)) m->state.rate = 0;
      return 0;
    case kSel_MoviesTask:
      if (MovieObject* m = c.MovieArg(0)) {
        TEMovieState& s = m->state;
        ++s.tasks;
        const MovieDefinition& definition = engine.definitions[s.definition];
        if (s.rate != 0 && s.taskStep != 0 && !IsDone(*m, definition)) {
          int64_t next = static_cast<int64_t>(s.time) + (s.rate > 0 ? s.taskStep : -s.taskStep);
          TimeValue end = SegmentEnd(*m, definition);
          if (m->timeBase.flags & loopTimeBase) {
            if (next >= end) next = s.segmentStart;
            if (next < s.segmentStart) next = end;
          } else {
            if (next > end) next = end;
            if (next < s.segmentStart) next = s.segmentStart;
          }
          s.time = static_cast<TimeValue>(next);
        }
      }
      return 0;
    case kSel_IsMovieDone:
      if (MovieObject* m = c.MovieArg(0)) {
        return IsDone(*m, engine.definitions[m->state.definition]) ? 1 : 0;
      }
      return 1;
    case kSel_SetMoviePlayHints:
      if (MovieObject* m = c.MovieArg(0)) {
        int32_t flags = static_cast<int32_t>(args[1]);
        int32_t mask = static_cast<int32_t>(args[2]);
        m->state.playHints = (m->state.playHints & ~mask) | (flags & mask);
      }
      return 0;
    case kSel_GetMovieTimeBase:
      if (MovieObject* m = c.MovieArg(0)) return Word(&m->timeBase);
      return 0;
    case kSel_GetTimeBaseFlags:
    case kSel_SetTimeBaseFlags: {
      TimeBaseObject* timeBase = nullptr;
      for (auto& movie : engine.movies) {
        if (Word(&movie->timeBase) == args[0] && !movie->state.disposed) {
          timeBase = &movie->timeBase;
        }
      }
      if (timeBase == nullptr) {
        engine.Misuse(c.selector, "unknown time base");
        return 0;
      }
      if (c.selector == kSel_GetTimeBaseFlags) return static_cast<uint32_t>(timeBase->flags);
      timeBase->flags = static_cast<int32_t>(args[1]);
      return 0;
    }
    case kSel_GetMovieDuration:
      if (MovieObject* m = c.MovieArg(0)) {
        return static_cast<uint32_t>(engine.definitions[m->state.definition].spec.duration);
      }
      return 0;
    case kSel_GetMovieTimeScale:
      if (MovieObject* m = c.MovieArg(0)) {
        return static_cast<uint32_t>(engine.definitions[m->state.definition].spec.timeScale);
      }
      return 0;
    case kSel_GetMovieTime:
      if (MovieObject* m = c.MovieArg(0)) return static_cast<uint32_t>(m->state.time);
      return 0;
    case kSel_SetMovieTimeValue:
      if (MovieObject* m = c.MovieArg(0)) m->state.time = static_cast<TimeValue>(args[1]);
      return 0;
    case kSel_GetMovieVolume:
      if (MovieObject* m = c.MovieArg(0)) return Status(m->state.volume);
      return 0;
    case kSel_SetMovieVolume:
      if (MovieObject* m = c.MovieArg(0)) m->state.volume = Short(args[1]);
      return 0;
    case kSel_GetMovieNextInterestingTime: {
      MovieObject* m = c.MovieArg(0);
      TimeValue* next = c.Out<TimeValue>(6);
      TimeValue* duration = Pointer<TimeValue>(args[7]);
      if (m == nullptr || next == nullptr) return 0;
      const MovieDefinition& definition = engine.definitions[m->state.definition];
      int16_t flags = Short(args[1]);
      bool edgeOK = (flags & nextTimeEdgeOK) != 0;
      bool backwards = static_cast<Fixed>(args[5]) < 0;
      TimeValue time = static_cast<TimeValue>(args[4]);
      *next = -1;
      if (duration) *duration = 0;
      if ((flags & nextTimeMediaSample) && ListsVideo(args[2], Pointer<const OSType>(args[3]))) {
        *next = NextTime(definition.samples, time, edgeOK, backwards, duration);
      } else if (flags & nextTimeStep) {
        *next = NextTime(definition.steps, time, edgeOK, backwards, duration);
      }
      return 0;
    }
    case kSel_X2FixDispatch: {
      Fixed* out = c.Out<Fixed>(0);
      const double* in = c.Out<const double>(1);
      if (out && in) *out = ToFixed(*in);
      return 0;
    }
    case kSel_GetMoviePict: {
      if (c.MovieArg(0) == nullptr) return 0;
      auto picture = std::make_unique<PictureObject>();
      picture->data = engine.pictureBytes;
      picture->master = picture->data.data();
      picture->width = engine.pictureWidth;
      picture->height = engine.pictureHeight;
      uint32_t handle = Word(&picture->master);
      engine.pictures.push_back(std::move(picture));
      return handle;
    }
    case kSel_KillPicture:
    case kSel_HLock:
    case kSel_HUnlock:
    case kSel_GetHandleSize: {
      PictureObject* picture = engine.FindPicture(Pointer<char*>(args[0]));
      if (picture == nullptr) {
        engine.Misuse(c.selector, "unknown handle");
        return 0;
      }
      if (c.selector == kSel_KillPicture) {
        if (picture->locked) engine.Misuse(c.selector, "picture still locked");
        picture->alive = false;
      } else if (c.selector == kSel_HLock) {
        picture->locked = true;
      } else if (c.selector == kSel_HUnlock) {
        picture->locked = false;
      } else {
        return static_cast<uint32_t>(picture->data.size());
      }
      return 0;
    }
    case kSel_BlockMoveData: {
      const void* source = Pointer<const void>(args[0]);
      void* destination = Pointer<void>(args[1]);
      int32_t count = static_cast<int32_t>(args[2]);
      if (count <= 0) return 0;
      if (source == nullptr || destination == nullptr) {
        engine.Misuse(c.selector, "null pointer argument");
        return 0;
      }
      memmove(destination, source, static_cast<size_t>(count));
      return 0;
    }
    case kSel_OpenADefaultComponent: {
      ComponentInstance* out = c.Out<ComponentInstance>(2);
      if (out == nullptr) return Status(kParamErr);
      if (args[0] != GraphicsExporterComponentType || args[1] != kQTFileTypePicture) {
        return Status(kNoDefaultComponent);
      }
      auto component = std::make_unique<ComponentObject>();
      *out = reinterpret_cast<ComponentInstance>(component.get());
      engine.components.push_back(std::move(component));
      return 0;
    }
    case kSel_CloseComponent: {
      ComponentObject* component = engine.FindComponent(Pointer<ComponentInstanceRecord>(args[0]));
      if (component == nullptr) {
        engine.Misuse(c.selector, "unknown component");
        return kBadComponentInstance & 0xFFFF;
      }
      component->alive = false;
      return 0;
    }
    case kSel_ComponentRequest: {
      TERequest request;
      memset(&request, 0, sizeof request);
      request.instance = Pointer<ComponentInstanceRecord>(args[0]);
      const ComponentParameters* block = c.Out<const ComponentParameters>(1);
      if (block == nullptr) return Status(kParamErr);
      memcpy(request.bytes, block, sizeof request.bytes);
      ComponentObject* component = engine.FindComponent(request.instance);
      uint32_t result = 0;
      if (component == nullptr) {
        engine.Misuse(c.selector, "unknown component");
        result = kBadComponentInstance;
      } else if (block->flags != 0 || block->paramSize != 4) {
        engine.Misuse(c.selector, "malformed parameter block");
        result = Status(kParamErr);
      } else if (block->what == kGraphicsExportSetInputPictureSelect) {
        PicHandle picture = Pointer<PictureRecord*>(block->param);
        if (engine.FindPicture(reinterpret_cast<Handle>(picture)) == nullptr) {
          engine.Misuse(c.selector, "unknown picture");
          result = Status(kParamErr);
        } else {
          component->picture = picture;
        }
      } else if (block->what == kGraphicsExportGetInputImageDimensionsSelect) {
        Rect* out = Pointer<Rect>(block->param);
        PictureObject* picture =
            engine.FindPicture(reinterpret_cast<Handle>(component->picture));
        if (out == nullptr || picture == nullptr) {
          result = Status(kParamErr);
        } else {
          *out = Rect{0, 0, picture->height, picture->width};
        }
      } else {
        result = kBadComponentSelector;
      }
      request.result = static_cast<ComponentResult>(result);
      engine.requests.push_back(request);
      return result;
    }
  }
  engine.Misuse(c.selector, "unknown selector");
  return Status(kParamErr);
}

}  // namespace

uint32_t Dispatch(uint32_t selector, const uint32_t* args) {
  try {
    EngineState& engine = Engine();
    TECall record;
    memset(&record, 0, sizeof record);
    record.selector = selector;
    int count = SelectorArgumentCount(selector);
    for (int i = 0; i < count && i < kTestEngineLogArgs; ++i) record.args[i] = args[i];

    uint32_t result;
    if (!engine.TakeFailure(selector, &result)) {
      Call call{engine, selector, args};
      result = Carry(call);
    }
    record.result = result;
    engine.log.push_back(record);
    return result;
  } catch (...) {
    return Status(kParamErr);
  }
}
