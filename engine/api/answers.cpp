// Each media operation as the engine answers it: the references checked,
// then the work handed to the part that does it. A reference the engine did
// not hand out is answered as QuickTime answers a bad one, never read.
#include "engine/api/answers.h"

#include <windows.h>

#include "engine/objects/file_specs.h"
#include "engine/objects/handles.h"
#include "engine/objects/movie.h"
#include "engine/objects/open_files.h"
#include "engine/objects/pictures.h"
#include "engine/playback/playback.h"
#include "engine/platform/ports.h"
#include "engine/platform/wall_clock.h"
#include "engine/objects/status.h"
#include "media_interface/fixed_point.h"

namespace vmedia {
namespace operations {
namespace {

// The time record GetMovieTime fills: a 64-bit value, its scale and base.
#pragma pack(push, 2)
struct TimeRecord {
  int32_t valueHigh;
  uint32_t valueLow;
  TimeScale scale;
  TimeBase base;
};
#pragma pack(pop)

}  // namespace

// --- Component manager: the one component is the PICT graphics exporter.

ComponentResult ComponentRequest(ComponentInstance ci, ComponentParameters* params) {
  return ExporterRequest(ci, params);
}

OSErr CloseComponent(ComponentInstance ci) { return CloseExporter(ci); }

OSErr OpenADefaultComponent(OSType componentType, OSType componentSubType, ComponentInstance* ci) {
  return OpenExporter(componentType, componentSubType, ci);
}

// --- Files

OSErr NativePathNameToFSSpec(const char* path, FSSpec* spec, int32_t flags) { return PathToSpec(path, spec); }

OSErr OpenMovieFile(const FSSpec* spec, int16_t* resRefNum, int8_t permission) {
  return OpenFileForSpec(spec, permission, resRefNum);
}

OSErr CloseMovieFile(int16_t resRefNum) { return CloseFileRef(resRefNum); }

OSErr NewMovieFromFile(Movie* m, int16_t resRefNum, int16_t* resId, uint8_t* resName, int16_t newMovieFlags,
                       Boolean* dataRefWasChanged) {
  if (dataRefWasChanged) *dataRefWasChanged = 0;
  OSErr err = NewMovieFromRef(m, resRefNum, newMovieFlags);
  if (err == noErr && resId) *resId = -1;  // the movie lives in the data fork
  return err;
}

void DisposeMovie(Movie m) { DisposeMovieRecord(m); }

// --- Playing: every movie at once when none is named.

void MoviesTask(Movie m, int32_t maxMilliSecToUse) {
  if (!m) {
    for (MovieRecord* record : AllMovies()) TaskMovie(record);
  } else if (MovieRecord* record = FindMovie(m)) {
    TaskMovie(record);
  }
}

OSErr PrerollMovie(Movie m, TimeValue time, Fixed rate) {
  MovieRecord* record = FindMovie(m);
  if (!record) return invalidMovie;
  return Preroll(record, time, rate) ? noErr : codecErr;
}

OSErr PrePrerollMovie(Movie m, TimeValue time, Fixed rate, void* proc, void* refCon) {
  MovieRecord* record = FindMovie(m);
  if (!record) return invalidMovie;
  return PrePreroll(record, time, rate) ? noErr : codecErr;
}

OSErr UpdateMovie(Movie m) {
  MovieRecord* record = FindMovie(m);
  if (!record) return invalidMovie;
  Update(record);
  return noErr;
}

// An unknown movie counts as done, so a caller waiting for the end stops.
Boolean IsMovieDone(Movie m) {
  MovieRecord* record = FindMovie(m);
  return record ? IsDone(record) : 1;
}

void SetMovieActive(Movie m, Boolean active) {
  if (MovieRecord* record = FindMovie(m)) record->active = active != 0;
}

void StopMovie(Movie m) {
  if (MovieRecord* record = FindMovie(m)) SetRate(record, 0);
}

void SetMovieRate(Movie m, Fixed rate) {
  if (MovieRecord* record = FindMovie(m)) SetRate(record, rate);
}

void SetMovieActiveSegment(Movie m, TimeValue startTime, TimeValue duration) {
  if (MovieRecord* record = FindMovie(m)) record->clock.SetSegment(startTime, duration, WallSeconds());
}

// Looping is the time base's flags; the engine plays every movie alike
// whatever the hints.
void SetMoviePlayHints(Movie m, int32_t flags, int32_t flagsMask) {}

// --- Time and the time base

TimeBase GetMovieTimeBase(Movie m) {
  MovieRecord* record = FindMovie(m);
  return record ? &record->timeBase : nullptr;
}

int32_t GetTimeBaseFlags(TimeBase tb) {
  MovieRecord* record = FindTimeBase(tb);
  return record ? record->clock.flags() : 0;
}

void SetTimeBaseFlags(TimeBase tb, int32_t flags) {
  if (MovieRecord* record = FindTimeBase(tb)) record->clock.SetFlags(flags, WallSeconds());
}

TimeScale GetMovieTimeScale(Movie m) {
  MovieRecord* record = FindMovie(m);
  return record ? record->timeline.timeScale : 0;
}

TimeValue GetMovieDuration(Movie m) {
  MovieRecord* record = FindMovie(m);
  return record ? record->timeline.duration : 0;
}

TimeValue GetMovieTime(Movie m, void* timeRecord) {
  MovieRecord* record = FindMovie(m);
  if (!record) return 0;
  TimeValue t = CurrentTime(record);
  if (auto* out = static_cast<TimeRecord*>(timeRecord)) {
    out->valueHigh = t < 0 ? -1 : 0;
    out->valueLow = static_cast<uint32_t>(t);
    out->scale = record->timeline.timeScale;
    out->base = &record->timeBase;
  }
  return t;
}

void SetMovieTimeValue(Movie m, TimeValue time) {
  if (MovieRecord* record = FindMovie(m)) SetTime(record, time);
}

// Video samples, or steps; both lists come from the movie's time line.
void GetMovieNextInterestingTime(Movie m, int16_t interestingTimeFlags, int16_t numMediaTypes,
                                 const OSType* whichMediaTypes, TimeValue time, Fixed rate,
                                 TimeValue* interestingTime, TimeValue* interestingDuration) {
  TimeValue found = -1, span = 0;
  if (MovieRecord* record = FindMovie(m)) {
    const Timeline& tl = record->timeline;
    const std::vector<int32_t>* times = nullptr;
    size_t* hint = nullptr;
    if (interestingTimeFlags & nextTimeMediaSample) {
      bool video = numMediaTypes <= 0;
      for (int i = 0; whichMediaTypes && i < numMediaTypes && i < 64; ++i)
        video = video || whichMediaTypes[i] == VideoMediaType;
      if (video && tl.hasVideo) times = &tl.videoTimes, hint = &record->nextVideoHint;
    } else if (interestingTimeFlags & nextTimeStep) {
      times = &tl.stepTimes, hint = &record->nextStepHint;
    }
    if (times) {
      found = NextTime(*times, time, rate < 0, (interestingTimeFlags & nextTimeEdgeOK) != 0, tl.duration, &span, hint);
    }
  }
  if (interestingTime) *interestingTime = found;
  if (interestingDuration) *interestingDuration = found < 0 ? 0 : span;
}

// --- Sound

int16_t GetMovieVolume(Movie m) {
  MovieRecord* record = FindMovie(m);
  return record ? record->volume : 0;
}

void SetMovieVolume(Movie m, int16_t volume) {
  if (MovieRecord* record = FindMovie(m)) SetVolume(record, volume);
}

// --- Where the movie is drawn

void SetMovieGWorld(Movie m, CGrafPtr port, GDHandle gdh) {
  if (MovieRecord* record = FindMovie(m)) record->gworld = port ? port : CurrentPort();
}

void GetMovieBox(Movie m, Rect* box) {
  MovieRecord* record = FindMovie(m);
  if (record && box) *box = record->box;
}

void SetMovieBox(Movie m, const Rect* box) {
  MovieRecord* record = FindMovie(m);
  if (record && box) record->box = *box;
}

void MovieDisplayRectChanged(const Rect* displayRect) {}

void GetGWorld(CGrafPtr* port, GDHandle* gdh) { GetCurrentPort(port, gdh); }

void SetGWorld(CGrafPtr port, GDHandle gdh) { SetCurrentPort(port, gdh); }

CGrafPtr CreatePortAssociation(void* window, void* storage, int32_t flags) {
  return CreatePort(static_cast<HWND>(window));
}

void DestroyPortAssociation(CGrafPtr port) { DestroyPort(port); }

Boolean EmptyRect(const Rect* r) { return !r || r->bottom <= r->top || r->right <= r->left; }

// --- Pictures and memory

PicHandle GetMoviePict(Movie m, TimeValue time) {
  MovieRecord* record = FindMovie(m);
  return record ? MoviePicture(record, time) : nullptr;
}

void KillPicture(PicHandle pic) { KillPictureHandle(pic); }

void HLock(Handle h) { SetHandleLocked(h, true); }

void HUnlock(Handle h) { SetHandleLocked(h, false); }

int32_t GetHandleSize(Handle h) { return HandleSize(h); }

void BlockMoveData(const void* source, void* destination, int32_t count) { CopyBytes(source, destination, count); }

void X2FixDispatch(Fixed* result, const double* x) {
  if (result && x) *result = media_interface::FixedFromDouble(*x);
}

}  // namespace operations
}  // namespace vmedia
