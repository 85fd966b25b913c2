// How long the plug-in holds up the host's thread, file by file: the time
// of the file's duration and size by path and of Vantoro-Play (looping),
// and the longest single external call and the longest single message of
// the host's loop from those through 3 s of playback (the time asked for
// every 100 ms), a seek and a capture, to Vantoro-Stop. Prints figures;
// asserts nothing.
//
//   blocking_bench.exe KIND:LABEL:PATH ...
//
// KIND is "good" for a movie that plays, "bad" for a damaged or truncated
// one. Goals: a bad file answers within 250 ms natively; a good one holds
// the host no longer than Play, whose wait is for its first frame.
#include <windows.h>

#include <algorithm>
#include <stdio.h>
#include <string>

#include "bench/measure.h"
#include "tests/host_rig.h"

namespace {

struct Longest {
  double ms = 0;
  std::string what;
  void Note(double seconds, const std::string& name) {
    if (seconds * 1000 > ms) {
      ms = seconds * 1000;
      what = name;
    }
  }
};

// Handles the messages waiting, noting the slowest.
void PumpFor(double seconds, Longest* longest) {
  const double end = Now() + seconds;
  while (Now() < end) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      Sleep(1);
      continue;
    }
    TranslateMessage(&msg);
    double t = Now();
    DispatchMessageA(&msg);
    longest->Note(Now() - t, "a message");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: blocking_bench.exe KIND:LABEL:PATH ...\n");
    return 2;
  }
  rig::HostRig host;
  std::string error;
  if (!host.Open(Folder(), &error)) {
    fprintf(stderr, "cannot set up the host: %s\n", error.c_str());
    return 1;
  }
  auto timed = [&](Longest* longest, const std::string& name, const std::string& args, double* took = nullptr) {
    double t = Now();
    std::string answer = host.Call(name, args);
    double seconds = Now() - t;
    longest->Note(seconds, name);
    if (took) *took = seconds;
    return answer;
  };
  printf("the longest the host's thread was held, from Vantoro-Play through 3 s of playback, a seek, a capture\n"
         "and Vantoro-Stop (external calls and messages of its loop alike):\n");
  bool warm = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    size_t a = arg.find(':'), b = a == std::string::npos ? a : arg.find(':', a + 1);
    if (b == std::string::npos) {
      fprintf(stderr, "not KIND:LABEL:PATH: %s\n", argv[i]);
      return 2;
    }
    const bool good = arg.substr(0, a) == "good";
    const std::string label = arg.substr(a + 1, b - a - 1), path = arg.substr(b + 1);
    if (!warm) {
      // The engine's start-up (loading the codec libraries) is not any
      // one file's.
      Longest ignored;
      if (timed(&ignored, "Vantoro-Play", path + "|0|0").empty()) timed(&ignored, "Vantoro-Stop", "");
      warm = true;
    }
    host.windows.Pump(100);
    Longest longest;
    double duration = 0, size = 0, play = 0;
    timed(&longest, "Vantoro-GetDuration", path, &duration);
    timed(&longest, "Vantoro-GetVideoSize", path, &size);
    // Looping, so that a short movie still plays when the capture comes.
    std::string answer = timed(&longest, "Vantoro-Play", path + "|1", &play);
    std::string frame = "-";
    if (answer.empty()) {
      for (int k = 0; k < 30; ++k) {
        PumpFor(0.1, &longest);
        timed(&longest, "Vantoro-GetTime", "");
      }
      timed(&longest, "Vantoro-SetTime", "00:00:00.10");
      frame = timed(&longest, "Vantoro-GetVideoFrame", "");
      timed(&longest, "Vantoro-Stop", "");
      PumpFor(0.1, &longest);
    }
    char goal[96];
    if (good) snprintf(goal, sizeof goal, "goal: no longer than Play's wait for its first frame (%.1f ms)", play * 1000);
    else snprintf(goal, sizeof goal, "goal: under 250 ms natively");
    printf("  %-28s GetDuration %7.1f, GetVideoSize %7.1f, Play %7.1f ms (%s), frame %-6s longest %7.1f ms (%s); %s\n",
           label.c_str(), duration * 1000, size * 1000, play * 1000, answer.empty() ? "ok" : answer.c_str(),
           frame.empty() ? "ok" : frame.c_str(), longest.ms, longest.what.c_str(), goal);
    fflush(stdout);
  }
  host.Close();
  return 0;
}
