// Vantoro-Play: opens a movie file and plays it in the host's frontmost
// document window.
#include <stdint.h>

#include "host/is_error.h"
#include "host/parameters.h"
#include "player/arguments.h"
#include "player/core.h"
#include "player/external_functions.h"
#include "player/frame_count.h"
#include "player/host_window.h"
#include "player/movie_file.h"
#include "player/play_arguments.h"
#include "player/session.h"
#include "player/window_proc.h"
#include "quicktime/adapters.h"

namespace {

// Makes the movie repeat its active segment from the start.
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

// building is set once the previous movie is stopped: from then on a failure
// dismantles what this call built. Before it (a wrong argument count) the
// playing movie must be left alone.
void Play(const CallParameters& parameters, bool& building) {
  MovieSession& s = movieSession;
  int16_t n = CountParameters(parameters);
  if (n < kPlayPath || n > kPlayArgumentLimit) RaiseError(kErrArgumentCount);

  if (s.movie) StopSession();
  building = true;

  FSSpec spec;
  {
    ParameterCopy path(parameters, kPlayPath);
    if (!path.get() || path.get()[0] == 0) RaiseError(kErrBadPath);
    spec = PathToFSSpec(path.get());
  }

  s.hostWindow = FindHostWindow();
  if (!s.hostWindow) RaiseError(kErrNoHostWindow);
  s.port = CreatePortAssociation(s.hostWindow, nullptr, 0);
  if (!s.port) RaiseError(kErrNoPort);
  GetGWorld(&s.savedPort, &s.savedDevice);
  SetGWorld(s.port, nullptr);

  // Each in the record as soon as it exists, for CloseMovie to find should
  // a later step fail.
  s.fileRef = OpenMovieFileForReading(spec);
  Movie movie = MovieFromOpenFile(s.fileRef);
  if (!movie) RaiseError(kErrNewMovie);
  s.movie = movie;

  int32_t placement[kPlayHeight - kPlayLeft + 1] = {};
  for (int16_t k = kPlayLeft; k <= n; ++k) placement[k - kPlayLeft] = ReadWholeArgument(parameters, k);
  Rect display = DisplayRect(n, placement[0], placement[1], placement[2], placement[3]);

  bool noSize = EmptyRect(&display) != 0;
  // Not the last movie's box if the engine answers nothing.
  s.movieBox = Rect{0, 0, 0, 0};
  GetMovieBox(movie, &s.movieBox);
  if (noSize) display = MovieSizeAt(display, s.movieBox);
  SetMovieBox(movie, &display);
  SetMovieGWorld(movie, s.port, nullptr);
  MovieDisplayRectChanged(&display);

  if (n >= kPlayLoop && ReadWholeArgument(parameters, kPlayLoop) != 0) EnableLooping(movie);

  {
    OptionalArgument rate(parameters, kPlayRate);
    s.rateReal = PlayRate(rate.text());
  }
  s.rateFixed = X2Fix(s.rateReal);

  s.frameCount = CountVideoFrames(movie);
  s.duration = GetMovieDuration(movie);
  s.timeScale = GetMovieTimeScale(movie);
  s.framesPerSecond = static_cast<double>(s.frameCount) /
                      (static_cast<double>(s.duration) / static_cast<double>(s.timeScale));

  // Each time is copied, read and given back before the next one.
  const MovieTiming timing = {s.duration, s.timeScale, s.framesPerSecond};
  {
    OptionalArgument start(parameters, kPlayStart);
    if (!PlayStartTime(timing, start.text(), &s.startTime)) RaiseError(kErrTimeRange);
  }
  {
    OptionalArgument end(parameters, kPlayEnd);
    if (!PlayEndTime(timing, end.text(), s.startTime, &s.endTime)) RaiseError(kErrTimeRange);
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

}  // namespace

void PlayFunction(const CallParameters& parameters, HostHandle result) {
  bool building = false;
  RunReportFrame(result, [&] { Play(parameters, building); }, [&] {
    // What the call had built is a session cut short: it ends as one.
    if (building) CloseMovie(movieSession);
  });
}
