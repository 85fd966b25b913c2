// The media engine behind the plug-in, as a user meets it: the duration of a
// two-hour movie by path, the time from Vantoro-Play to the first frame on
// screen, how late a segment ends after its end time, how many frames of 1x
// playback come late and the longest the movie holds up one message of the
// host's loop. Prints figures; asserts nothing.
//
//   engine_bench.exe LONG_MOVIE SHORT_MOVIE CODED_MOVIE
//
// CODED_MOVIE shows its frame number n as two grey patches (left: n mod 16,
// right: n / 16 mod 16, each level k as luma 16k + 8), so the frame on
// screen can be read back from the window.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <stdio.h>
#include <string>
#include <vector>

#include "bench/measure.h"
#include "standin/host_windows.h"
#include "tests/host_rig.h"

namespace {

int timerMessages = 0;
double slowestMessage = 0;  // seconds, the longest one dispatch took

// Handles one message if there is one; answers false when none waited.
bool PumpOne() {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_TIMER) ++timerMessages;
  TranslateMessage(&msg);
  double t = Now();
  DispatchMessageA(&msg);
  slowestMessage = std::max(slowestMessage, Now() - t);
  return true;
}

// Grey level k of a patch, from the green channel: the engine shows the
// luma values as they are.
int Level(COLORREF c) {
  int k = static_cast<int>(std::lround((GetGValue(c) - 8.0) / 16.0));
  return std::min(15, std::max(0, k));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: engine_bench.exe LONG_MOVIE SHORT_MOVIE CODED_MOVIE\n");
    return 2;
  }
  std::string longMovie = argv[1], shortMovie = argv[2], codedMovie = argv[3];
  rig::HostRig host;
  std::string error;
  if (!host.Open(Folder(), &error)) {
    fprintf(stderr, "cannot set up the host: %s\n", error.c_str());
    return 1;
  }
  standin::HostWindows& windows = host.windows;
  standin::Plugin& plugin = host.plugin;
  HWND document = host.document;
  plugin.CallByName("Vantoro-Version", "");

  // Duration by path: the movie's tables, read afresh at every call.
  std::vector<double> times;
  std::string duration;
  for (int i = 0; i < 7; ++i) {
    double t = Now();
    duration = plugin.CallByName("Vantoro-GetDuration", longMovie);
    times.push_back((Now() - t) * 1000);
  }
  std::sort(times.begin(), times.end());
  printf("Vantoro-GetDuration by path, two-hour 25 fps movie: %s\n", duration.c_str());
  printf("  fastest %.1f ms, median of 7 %.1f ms, slowest %.1f ms (goal: under 50 ms)\n", times[0], times[3],
         times[6]);

  // Play to the first frame on screen: from the call to the first message
  // after which the movie box no longer shows the window's own background.
  printf("time from Vantoro-Play to the first frame drawn\n");
  const char* labels[] = {"short movie from its start", "two-hour movie from 01:00:00.00"};
  std::string plays[] = {shortMovie + "|0|1|||0|0|320|240", longMovie + "|0|1|01:00:00.00||0|0|320|240"};
  for (int i = 0; i < 2; ++i) {
    windows.Pump(100);
    double t = Now();
    std::string answer = plugin.CallByName("Vantoro-Play", plays[i]);
    double returned = Now();
    while (Now() - t < 5 && PixelAt(document, 160, 120) == standin::kDocumentBackground) {
      if (!PumpOne()) Sleep(1);
    }
    double drawn = Now();
    printf("  %-32s %s Play returned after %.1f ms, first frame after %.1f ms\n", labels[i],
           answer.empty() ? "" : ("(answered " + answer + ")").c_str(), (returned - t) * 1000, (drawn - t) * 1000);
    plugin.CallByName("Vantoro-Stop", "");
    InvalidateRect(document, nullptr, TRUE);
  }

  // A segment's end: Play with an end time of 1 s, until the window has its
  // own procedure back.
  {
    windows.Pump(100);
    double t = Now();
    std::string answer = plugin.CallByName("Vantoro-Play", shortMovie + "|0|1|00:00:00.00|00:00:01.00");
    while (answer.empty() && host.Subclassed() && Now() - t < 30) {
      if (!PumpOne()) Sleep(1);
    }
    printf("a segment of 1 s from Vantoro-Play to its end: %.1f ms%s\n", (Now() - t) * 1000,
           answer.empty() ? "" : (" (Play answered " + answer + ")").c_str());
    plugin.CallByName("Vantoro-Stop", "");
  }

  // Late frames: over 10 s of 1x playback, each frame's first appearance
  // against its due time. The movie clock's start is taken as early as the
  // frames allow (the smallest appearance less n / 25 s); a frame is late
  // when it shows up more than one timer tick (the measured interval of the
  // playback timer's messages) after it was due.
  windows.Pump(100);
  std::string answer = plugin.CallByName("Vantoro-Play", codedMovie + "|0|1|||0|0|320|160");
  if (!answer.empty()) {
    fprintf(stderr, "Vantoro-Play answered %s\n", answer.c_str());
    return 1;
  }
  const int frames = 250;
  std::vector<double> seen(256, -1);
  double start = Now();
  timerMessages = 0;
  slowestMessage = 0;
  int last = -1;
  while (Now() - start < 10.5) {
    if (!PumpOne()) {
      Sleep(1);
      continue;
    }
    COLORREF left = PixelAt(document, 80, 80);
    COLORREF right = PixelAt(document, 240, 80);
    if (left == standin::kDocumentBackground) continue;
    int n = Level(left) + 16 * Level(right);
    if (n != last && seen[n] < 0) seen[n] = Now();
    last = n;
  }
  double t0 = 1e30;
  for (int n = 0; n < frames; ++n) {
    if (seen[n] >= 0) t0 = std::min(t0, seen[n] - n / 25.0);
  }
  int late = 0, missing = 0, shown = 0;
  double worst = 0;
  const double tick = timerMessages ? (Now() - start) / timerMessages : 0.020;
  for (int n = 0; n < frames; ++n) {
    if (seen[n] < 0) {
      ++missing;
      continue;
    }
    ++shown;
    double lateness = seen[n] - (t0 + n / 25.0);
    worst = std::max(worst, lateness);
    if (lateness > tick) ++late;
  }
  printf("1x playback for 10 s (%d frames due, timer tick %.1f ms)\n", frames, tick * 1000);
  printf("  drawn %d, never drawn %d, drawn more than one tick late %d: %.1f%% late or missing; worst %.1f ms\n",
         shown, missing, late, 100.0 * (late + missing) / frames, worst * 1000);
  printf("  the longest one message of the host's loop took: %.1f ms (goal: under 20 ms)\n", slowestMessage * 1000);
  plugin.CallByName("Vantoro-Stop", "");
  host.Close();
  return 0;
}
