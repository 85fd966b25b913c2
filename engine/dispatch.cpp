// The engine's one entry: a selector and the caller's argument words, each
// argument one 32-bit word, in the order the operation lists them.
#include <math.h>
#include <windows.h>

#include <mutex>
#include <new>

#include "engine/handles.h"
#include "engine/movie.h"
#include "engine/paths.h"
#include "engine/pictures.h"
#include "engine/playback.h"
#include "engine/ports.h"
#include "engine/status.h"

namespace vmedia {
namespace {

template <class T>
T Ptr(uint32_t word) {
  return reinterpret_cast<T>(static_cast<uintptr_t>(word));
}
int16_t S16(uint32_t word) { return static_cast<int16_t>(word & 0xFFFF); }
int32_t S32(uint32_t word) { return static_cast<int32_t>(word); }
uint32_t Status(OSErr err) { return static_cast<uint32_t>(static_cast<int32_t>(err)); }

Fixed ToFixed(double x) {
  if (isnan(x)) return 0;
  double v = x * 65536.0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<Fixed>(lround(v));
}

uint32_t NextInterestingTime(const uint32_t* a) {
  MovieRecord* m = FindMovie(Ptr<Movie>(a[0]));
  int16_t flags = S16(a[1]);
  int16_t typeCount = S16(a[2]);
  const OSType* types = Ptr<const OSType*>(a[3]);
  TimeValue time = S32(a[4]);
  Fixed rate = S32(a[5]);
  auto* next = Ptr<TimeValue*>(a[6]);
  auto* length = Ptr<TimeValue*>(a[7]);
  TimeValue found = -1, span = 0;
  if (m) {
    const Timeline& tl = m->timeline;
    const std::vector<int32_t>* times = nullptr;
    if (flags & nextTimeMediaSample) {
      bool video = typeCount <= 0;
      for (int i = 0; types && i < typeCount && i < 64; ++i) video = video || types[i] == VideoMediaType;
      if (video && tl.hasVideo) times = &tl.videoTimes;
    } else if (flags & nextTimeStep) {
      times = &tl.stepTimes;
    }
    if (times) found = NextTime(*times, time, rate < 0, (flags & nextTimeEdgeOK) != 0, tl.duration, &span);
  }
  if (next) *next = found;
  if (length) *length = found < 0 ? 0 : span;
  return 0;
}

#pragma pack(push, 2)
struct TimeRecord {
  int32_t valueHigh;
  uint32_t valueLow;
  TimeScale scale;
  TimeBase base;
};
#pragma pack(pop)

uint32_t Operate(uint32_t selector, const uint32_t* a) {
  switch (selector) {
    case kSel_ComponentRequest:
      return static_cast<uint32_t>(ExporterRequest(Ptr<ComponentInstance>(a[0]), Ptr<const ComponentParameters*>(a[1])));
    case kSel_CloseComponent:
      return Status(CloseExporter(Ptr<ComponentInstance>(a[0])));
    case kSel_OpenADefaultComponent:
      return Status(OpenExporter(a[0], a[1], Ptr<ComponentInstance*>(a[2])));
    case kSel_NativePathNameToFSSpec:
      return Status(PathToSpec(Ptr<const char*>(a[0]), Ptr<FSSpec*>(a[1])));
    case kSel_OpenMovieFile:
      return Status(OpenFileForSpec(Ptr<const FSSpec*>(a[0]), static_cast<int8_t>(a[2] & 0xFF), Ptr<int16_t*>(a[1])));
    case kSel_CloseMovieFile:
      return Status(CloseFileRef(S16(a[0])));
    case kSel_NewMovieFromFile: {
      auto* resId = Ptr<int16_t*>(a[2]);
      auto* changed = Ptr<Boolean*>(a[5]);
      if (changed) *changed = 0;
      OSErr err = NewMovieFromRef(Ptr<Movie*>(a[0]), S16(a[1]), S16(a[4]));
      if (err == noErr && resId) *resId = -1;  // the movie lives in the data fork
      return Status(err);
    }
    case kSel_DisposeMovie:
      DisposeMovieRecord(Ptr<Movie>(a[0]));
      return 0;
    case kSel_HLock:
      SetHandleLocked(Ptr<Handle>(a[0]), true);
      return 0;
    case kSel_HUnlock:
      SetHandleLocked(Ptr<Handle>(a[0]), false);
      return 0;
    case kSel_GetHandleSize:
      return static_cast<uint32_t>(HandleSize(Ptr<Handle>(a[0])));
    case kSel_BlockMoveData:
      CopyBytes(Ptr<const void*>(a[0]), Ptr<void*>(a[1]), S32(a[2]));
      return 0;
    case kSel_GetGWorld:
      GetCurrentPort(Ptr<CGrafPtr*>(a[0]), Ptr<GDHandle*>(a[1]));
      return 0;
    case kSel_SetGWorld:
      SetCurrentPort(Ptr<CGrafPtr>(a[0]), Ptr<GDHandle>(a[1]));
      return 0;
    case kSel_CreatePortAssociation:
      return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(CreatePort(Ptr<HWND>(a[0]))));
    case kSel_DestroyPortAssociation:
      DestroyPort(Ptr<CGrafPtr>(a[0]));
      return 0;
    case kSel_EmptyRect: {
      const Rect* r = Ptr<const Rect*>(a[0]);
      return !r || r->bottom <= r->top || r->right <= r->left;
    }
    case kSel_KillPicture:
      KillPictureHandle(Ptr<PicHandle>(a[0]));
      return 0;
    case kSel_MovieDisplayRectChanged:
      return 0;
    case kSel_X2FixDispatch: {
      auto* out = Ptr<Fixed*>(a[0]);
      const double* x = Ptr<const double*>(a[1]);
      if (out && x) *out = ToFixed(*x);
      return 0;
    }
    case kSel_MoviesTask:
      if (!a[0]) {
        TaskAllMovies();
      } else if (MovieRecord* m = FindMovie(Ptr<Movie>(a[0]))) {
        TaskMovie(m);
      }
      return 0;
    case kSel_GetTimeBaseFlags: {
      MovieRecord* m = FindTimeBase(Ptr<TimeBase>(a[0]));
      return m ? static_cast<uint32_t>(m->clock.flags()) : 0;
    }
    case kSel_SetTimeBaseFlags:
      if (MovieRecord* m = FindTimeBase(Ptr<TimeBase>(a[0]))) m->clock.SetFlags(S32(a[1]), WallSeconds());
      return 0;
    case kSel_GetMovieNextInterestingTime:
      return NextInterestingTime(a);
    default:
      break;
  }

  // The rest work on one movie, named by the first argument.
  MovieRecord* m = FindMovie(Ptr<Movie>(a[0]));
  switch (selector) {
    case kSel_PrerollMovie:
      return Status(m ? Preroll(m, S32(a[1]), S32(a[2])) : invalidMovie);
    case kSel_PrePrerollMovie:
      return Status(m ? PrePreroll(m, S32(a[1]), S32(a[2])) : invalidMovie);
    case kSel_UpdateMovie:
      return Status(m ? Update(m) : invalidMovie);
    case kSel_GetMoviePict:
      return m ? static_cast<uint32_t>(reinterpret_cast<uintptr_t>(MoviePicture(m, S32(a[1])))) : 0;
    case kSel_IsMovieDone:
      return m ? IsDone(m) : 1;
    default:
      break;
  }
  if (!m) return 0;
  switch (selector) {
    case kSel_SetMovieActive:
      m->active = (a[1] & 0xFF) != 0;
      return 0;
    case kSel_StopMovie:
      SetRate(m, 0);
      return 0;
    case kSel_GetMovieTimeBase:
      return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&m->timeBase));
    case kSel_SetMovieGWorld:
      m->gworld = a[1] ? Ptr<CGrafPtr>(a[1]) : CurrentPort();
      return 0;
    case kSel_GetMovieTimeScale:
      return static_cast<uint32_t>(m->timeline.timeScale);
    case kSel_GetMovieDuration:
      return static_cast<uint32_t>(m->timeline.duration);
    case kSel_SetMovieRate:
      SetRate(m, S32(a[1]));
      return 0;
    case kSel_GetMovieVolume:
      return static_cast<uint32_t>(static_cast<int32_t>(m->volume));
    case kSel_SetMovieVolume:
      SetVolume(m, S16(a[1]));
      return 0;
    case kSel_GetMovieTime: {
      TimeValue t = CurrentTime(m);
      if (auto* record = Ptr<TimeRecord*>(a[1])) {
        record->valueHigh = t < 0 ? -1 : 0;
        record->valueLow = static_cast<uint32_t>(t);
        record->scale = m->timeline.timeScale;
        record->base = &m->timeBase;
      }
      return static_cast<uint32_t>(t);
    }
    case kSel_SetMovieTimeValue:
      SetTime(m, S32(a[1]));
      return 0;
    case kSel_GetMovieBox:
      if (auto* box = Ptr<Rect*>(a[1])) *box = m->box;
      return 0;
    case kSel_SetMovieBox:
      if (auto* box = Ptr<const Rect*>(a[1])) m->box = *box;
      return 0;
    case kSel_SetMovieActiveSegment:
      m->clock.SetSegment(S32(a[1]), S32(a[2]), WallSeconds());
      return 0;
    case kSel_SetMoviePlayHints:
      m->playHints = (m->playHints & ~S32(a[2])) | (S32(a[1]) & S32(a[2]));
      return 0;
    default:
      return Status(paramErr);
  }
}

// What the caller sees when an operation could not finish.
uint32_t FailureResult(uint32_t selector, OSErr err) {
  switch (selector) {
    case kSel_ComponentRequest:
      return static_cast<uint32_t>(badComponentSelector);
    case kSel_IsMovieDone:
      return 1;
    case kSel_CloseComponent:
    case kSel_OpenADefaultComponent:
    case kSel_NativePathNameToFSSpec:
    case kSel_OpenMovieFile:
    case kSel_CloseMovieFile:
    case kSel_NewMovieFromFile:
    case kSel_PrerollMovie:
    case kSel_PrePrerollMovie:
    case kSel_UpdateMovie:
      return Status(err);
    default:
      return 0;
  }
}

std::recursive_mutex& EngineLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace
}  // namespace vmedia

// Called by the assembler entry with the caller's selector and the address
// of its first argument word. The caller's stack need not be 16-byte aligned.
extern "C" __attribute__((force_align_arg_pointer)) uint32_t VmDispatch(uint32_t selector, const uint32_t* args) {
  using namespace vmedia;
  std::lock_guard<std::recursive_mutex> lock(EngineLock());
  try {
    return Operate(selector, args);
  } catch (const std::bad_alloc&) {
    return FailureResult(selector, memFullErr);
  } catch (...) {
    return FailureResult(selector, paramErr);
  }
}

// Component calls by their own exports: the request form, and a storage
// form the engine's single component does not offer.
extern "C" __attribute__((force_align_arg_pointer)) int32_t VmCallComponent(ComponentInstance instance,
                                                                             ComponentParameters* params) {
  const uint32_t words[2] = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(instance)),
                             static_cast<uint32_t>(reinterpret_cast<uintptr_t>(params))};
  return static_cast<int32_t>(VmDispatch(kSel_ComponentRequest, words));
}

extern "C" int32_t VmCallComponentFunctionWithStorage(void* storage, ComponentParameters* params, void* function) {
  return vmedia::badComponentSelector;
}
