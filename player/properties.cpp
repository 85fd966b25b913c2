// Duration and video size, of the playing movie or of a movie file by path.
#include <stdio.h>

#include "player/checks.h"
#include "player/external_functions.h"
#include "player/frame_count.h"
#include "player/movie_file.h"
#include "player/result_text.h"
#include "player/timecode.h"

namespace {

// A movie made from a file for one query; disposed of on every way out.
class TemporaryMovie {
 public:
  explicit TemporaryMovie(Movie movie) : movie_(movie) {}
  ~TemporaryMovie() { DisposeMovie(movie_); }
  TemporaryMovie(const TemporaryMovie&) = delete;
  TemporaryMovie& operator=(const TemporaryMovie&) = delete;
  Movie get() const { return movie_; }

 private:
  Movie movie_;
};

Movie OpenMovieFromPath(const char* path) {
  int16_t fileRef = OpenMovieFileForReading(PathToFSSpec(path));
  Movie movie = MovieFromOpenFile(fileRef);
  // The movie needs its file no longer once it is made.
  CloseMovieFile(fileRef);
  if (!movie) RaiseError(kErrNewMovie);
  return movie;
}

Movie OpenPathArgument(const CallParameters& parameters) {
  ParameterCopy path(parameters, 1);
  return OpenMovieFromPath(path.required());
}

}  // namespace

void GetDurationFunction(const CallParameters& parameters, HostHandle result) {
  RunReportFrame(result, [&] {
    int16_t n = RequireArguments(parameters, 0, 1);
    TimeValue duration;
    TimeScale scale;
    double fps;
    if (n == 1) {
      TemporaryMovie movie(OpenPathArgument(parameters));
      duration = GetMovieDuration(movie.get());
      scale = GetMovieTimeScale(movie.get());
      double seconds = static_cast<double>(duration) / static_cast<double>(scale);
      fps = static_cast<double>(CountVideoFrames(movie.get())) / seconds;
    } else {
      RequireMovie();
      duration = movieSession.duration;
      scale = movieSession.timeScale;
      fps = movieSession.framesPerSecond;
    }
    DurationToText(duration, scale, fps, resultText);
    AnswerResultText(result);
  });
}

void GetVideoSizeFunction(const CallParameters& parameters, HostHandle result) {
  RunReportFrame(result, [&] {
    int16_t n = RequireArguments(parameters, 0, 1);
    Rect box = {0, 0, 0, 0};
    if (n == 1) {
      TemporaryMovie movie(OpenPathArgument(parameters));
      GetMovieBox(movie.get(), &box);
    } else {
      RequireMovie();
      box = movieSession.movieBox;
    }
    int32_t width = box.right - box.left;
    int32_t height = box.bottom - box.top;
    snprintf(resultText, sizeof resultText, "%u,%u", static_cast<unsigned>(width), static_cast<unsigned>(height));
    AnswerResultText(result);
  });
}
