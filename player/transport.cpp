// Stop, and reading and changing the playing movie's time, rate and volume.
#include <stdio.h>

#include "player/arguments.h"
#include "player/checks.h"
#include "player/external_functions.h"
#include "player/result_text.h"
#include "player/session.h"
#include "player/timecode.h"
#include "quicktime/adapters.h"

void StopFunction(const CallParameters&, HostHandle) { StopSession(); }

void GetTimeFunction(const CallParameters& parameters, HostHandle result) {
  RunReportFrame(result, [&] {
    RequireArguments(parameters, 0, 0);
    Movie movie = RequireMovie();
    TimeValue time = GetMovieTime(movie, nullptr);
    TimeScale scale = GetMovieTimeScale(movie);
    TimeToText(time, scale, movieSession.framesPerSecond, resultText);
    AnswerResultText(result);
  });
}

void SetTimeFunction(const CallParameters& parameters, HostHandle result) {
  RunReportFrame(result, [&] {
    RequireArguments(parameters, 1, 1);
    Movie movie = RequireMovie();
    TimeValue time;
    {
      // A copy the host could not make is no time at all: reading it as the
      // start would move the movie and answer success.
      ParameterCopy text(parameters, 1);
      time = TextToTime(GetMovieTimeScale(movie), movieSession.framesPerSecond, text.required());
    }
    if (time < 0) {
      time = 0;
    } else if (time > movieSession.duration) {
      RaiseError(kErrTimeRange);
    }
    SetMovieTimeValue(movie, time);
  });
}

void GetRateFunction(const CallParameters& parameters, HostHandle result) {
  RunReportFrame(result, [&] {
    RequireArguments(parameters, 0, 0);
    RequireMovie();
    snprintf(resultText, sizeof resultText, "%g", movieSession.rateReal);
    AnswerResultText(result);
  });
}

void SetRateFunction(const CallParameters& parameters, HostHandle result) {
  RunReportFrame(result, [&] {
    RequireArguments(parameters, 1, 1);
    Movie movie = RequireMovie();
    ParameterCopy text(parameters, 1);
    movieSession.rateReal = ReadRealNumber(text.required());
    movieSession.rateFixed = X2Fix(movieSession.rateReal);
    SetMovieRate(movie, movieSession.rateFixed);
  });
}

void GetVolumeFunction(const CallParameters& parameters, HostHandle result) {
  RunReportFrame(result, [&] {
    RequireArguments(parameters, 0, 0);
    Movie movie = RequireMovie();
    int volume = GetMovieVolume(movie);
    snprintf(resultText, sizeof resultText, "%d", volume);
    AnswerResultText(result);
  });
}

void SetVolumeFunction(const CallParameters& parameters, HostHandle result) {
  RunReportFrame(result, [&] {
    RequireArguments(parameters, 1, 1);
    Movie movie = RequireMovie();
    int32_t n = ReadWholeArgument(parameters, 1);
    int16_t volume = static_cast<int16_t>(static_cast<uint16_t>(n & 0xFFFF));
    if (volume > 256) {
      volume = 256;
    } else if (volume < -256) {
      volume = -256;
    }
    SetMovieVolume(movie, volume);
  });
}
