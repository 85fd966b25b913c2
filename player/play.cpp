// Vantoro-Play: opens a movie file and plays it in the host's frontmost
// document window.
#include "player/play.h"

#include <stdint.h>

#include "host/is_error.h"
#include "host/parameters.h"
#include "player/arguments.h"
#include "player/core.h"
#include "player/external_functions.h"
#include "player/frame_count.h"
#include "player/host_window.h"
#include "player/session.h"
#include "player/timecode.h"
#include "player/window_proc.h"
#include "quicktime/adapters.h"

namespace {

int16_t Low16(int64_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF)); }

// building is set once the previous movie is stopped: from then on a failure
// dismantles what this call built. Before it (a wrong argument count) the
// playing movie must be left alone.
void Play(const CallParameters& parameters, bool& building) {
  MovieSession& s = movieSession;
  int16_t n = CountParameters(parameters);
  if (n < 1 || n > 9) RaiseError(kErrArgumentCount);

  if (s.movie) StopSession();
  building = true;

  FSSpec spec;
  {
    ParameterCopy path(parameters, 1);
    if (!path.get() || path.get()[0] == 0) RaiseError(kErrBadPath);
    spec = PathToFSSpec(path.get());
  }

  s.hostWindow = FindHostWindow();
  if (!s.hostWindow) RaiseError(kErrNoHostWindow);
  s.port = CreatePortAssociation(s.hostWindow, nullptr, 0);
  if (!s.port) RaiseError(kErrNoPort);
  GetGWorld(&s.savedPort, &s.savedDevice);
  SetGWorld(s.port, nullptr);

  int16_t fileRef = 0;
  if (OpenMovieFile(&spec, &fileRef, fsRdPerm) != 0) RaiseError(kErrOpenFile);
  s.fileRef = fileRef;
  Movie movie = nullptr;
  int16_t resourceId = 0;
  Boolean dataRefChanged = 0;
  if (NewMovieFromFile(&movie, s.fileRef, &resourceId, nullptr, 0, &dataRefChanged) != 0) RaiseError(kErrNewMovie);
  s.movie = movie;

  Rect display = {0, 0, 0, 0};
  if (n >= 6) display.left = Low16(ReadWholeNumber(parameters, 6));
  if (n >= 7) display.top = Low16(ReadWholeNumber(parameters, 7));
  if (n >= 8) display.right = Low16(static_cast<int64_t>(display.left) + ReadWholeNumber(parameters, 8));
  if (n >= 9) display.bottom = Low16(static_cast<int64_t>(display.top) + ReadWholeNumber(parameters, 9));

  bool noSize = EmptyRect(&display) != 0;
  // Not the last movie's box if the engine answers nothing.
  s.movieBox = Rect{0, 0, 0, 0};
  GetMovieBox(movie, &s.movieBox);
  if (noSize) {
    display.right = Low16(display.left + (s.movieBox.right - s.movieBox.left));
    display.bottom = Low16(display.top + (s.movieBox.bottom - s.movieBox.top));
  }
  SetMovieBox(movie, &display);
  SetMovieGWorld(movie, s.port, nullptr);
  MovieDisplayRectChanged(&display);

  if (n >= 2 && ReadWholeNumber(parameters, 2) != 0) EnableLooping(movie);

  s.rateReal = 1.0;
  if (n >= 3) {
    ParameterCopy rate(parameters, 3);
    const char* text = rate.required();
    if (text[0] != 0) s.rateReal = ReadRealNumber(text);
  }
  s.rateFixed = X2Fix(s.rateReal);

  s.frameCount = CountVideoFrames(movie);
  s.duration = GetMovieDuration(movie);
  s.timeScale = GetMovieTimeScale(movie);
  s.framesPerSecond = static_cast<double>(s.frameCount) /
                      (static_cast<double>(s.duration) / static_cast<double>(s.timeScale));

  s.startTime = 0;
  s.endTime = s.duration;
  if (n >= 4) {
    ParameterCopy text(parameters, 4);
    s.startTime = TextToTime(s.timeScale, s.framesPerSecond, text.required());
    if (s.startTime < 0) s.startTime = 0;
    if (s.startTime > s.duration) RaiseError(kErrTimeRange);
  }
  if (n >= 5) {
    ParameterCopy text(parameters, 5);
    s.endTime = TextToTime(s.timeScale, s.framesPerSecond, text.required());
    if (s.endTime == 0) {
      s.endTime = s.duration;
    } else if (s.endTime > s.duration || s.endTime <= s.startTime) {
      RaiseError(kErrTimeRange);
    }
  }

  InstallMovieWindowProc();

  SetMovieActive(movie, 1);
  SetMovieTimeValue(movie, s.startTime);
  SetMovieActiveSegment(movie, s.startTime, s.endTime - s.startTime);
  OSErr status = PrePrerollMovie(movie, s.startTime, s.rateFixed, nullptr, nullptr);
  if (status == 0) status = PrerollMovie(movie, s.startTime, s.rateFixed);
  if (status != 0) RaiseError(kErrPreroll);

  s.startPending = true;
  s.finished = false;
  playbackTimer = SetTimer(s.hostWindow, kPlaybackTimerId, 20, nullptr);
  if (playbackTimer == 0) RaiseError(kErrTimer);
  UpdateMovie(movie);
}

// Takes apart what the failed call had built, in the reverse of the order a
// working session is closed in.
void DismantleFailedPlay() {
  MovieSession& s = movieSession;
  RemoveMovieWindowProc();
  if (s.movie) {
    StopMovie(s.movie);
    DisposeMovie(s.movie);
    s.movie = nullptr;
  }
  if (s.fileRef != 0) {
    CloseMovieFile(s.fileRef);
    s.fileRef = 0;
  }
  if (s.port) {
    SetGWorld(s.savedPort, s.savedDevice);
    DestroyPortAssociation(s.port);
    s.port = nullptr;
    s.hostWindow = nullptr;
  }
}

}  // namespace

FSSpec PathToFSSpec(const char* path) {
  FSSpec spec = {};
  if (NativePathNameToFSSpec(path, &spec, 0) != 0) RaiseError(kErrBadPath);
  return spec;
}

void EnableLooping(Movie movie) {
  SetMoviePlayHints(movie, hintsLoop, hintsLoop);
  TimeBase timeBase = GetMovieTimeBase(movie);
  // Without a time base the movie plays once rather than hand the engine a
  // null object.
  if (!timeBase) return;
  int32_t flags = GetTimeBaseFlags(timeBase);
  flags = (flags | loopTimeBase) & ~palindromeLoopTimeBase;
  SetTimeBaseFlags(timeBase, flags);
}

void PlayFunction(const CallParameters& parameters, HostHandle result) {
  bool building = false;
  RunReportFrame(result, [&] { Play(parameters, building); }, [&] {
    if (building) DismantleFailedPlay();
  });
}
