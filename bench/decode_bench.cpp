// Large H.264 and HEVC movies through the plug-in and the media engine: the
// time from Vantoro-Play to the first frame on screen, and a seek to a time
// between key frames (Vantoro-SetTime) followed by Vantoro-GetVideoFrame,
// which has to decode from the key frame before it. Beside each figure the
// same work done by the ffmpeg command, which scripts/bench measures and
// passes in. Prints figures; asserts nothing.
//
//   decode_bench.exe TIME_A TIME_B [LABEL MOVIE SEEKS FF_FIRST FF_SEEK]...
//
// The seeks alternate between TIME_A and TIME_B (time codes the same number
// of frames into two different GOPs), so that no seek finds its frame
// already decoded; SEEKS of them per movie (fewer for 4K, where each one
// takes seconds under an emulator). FF_FIRST and FF_SEEK are ffmpeg's
// medians in ms, or "-".
#include <windows.h>

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "bench/measure.h"
#include "standin/host_windows.h"
#include "tests/host_rig.h"

namespace {

// The box the movies are shown in: 16:9, inside the 640x480 document.
constexpr int kBoxWidth = 480, kBoxHeight = 270;
// Long enough for a 4K frame under an emulator; only a fault waits this long.
constexpr double kFirstFrameDeadline = 60;

bool PumpOne() {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

struct Spread {
  double median = 0, slowest = 0;
};

Spread Of(std::vector<double> ms) {
  Spread s;
  if (ms.empty()) return s;
  std::sort(ms.begin(), ms.end());
  s.median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
  s.slowest = ms.back();
  return s;
}

std::string Answered(const std::string& answer) { return answer.empty() ? "" : " (answered " + answer + ")"; }

std::string Ffmpeg(const char* ms) {
  if (!ms || !strcmp(ms, "-")) return "";
  char text[64];
  snprintf(text, sizeof text, "   ffmpeg %7.1f ms", atof(ms));
  return text;
}

void Movie(rig::HostRig& host, int seeks, const std::string times[2], const char* label, const std::string& path,
           const char* ffFirst, const char* ffSeek) {
  standin::Plugin& plugin = host.plugin;
  HWND document = host.document;
  printf("%s: %s\n", label, plugin.CallByName("Vantoro-GetVideoSize", path).c_str());

  // Play to the first frame on screen, read back from the middle of the box.
  InvalidateRect(document, nullptr, TRUE);
  host.windows.Pump(100);
  char box[64];
  snprintf(box, sizeof box, "|0|1|||0|0|%d|%d", kBoxWidth, kBoxHeight);
  double t = Now();
  std::string answer = plugin.CallByName("Vantoro-Play", path + box);
  double returned = Now();
  bool drawn = false;
  while (answer.empty() && Now() - t < kFirstFrameDeadline) {
    if (PixelAt(document, kBoxWidth / 2, kBoxHeight / 2) != standin::kDocumentBackground) {
      drawn = true;
      break;
    }
    if (!PumpOne()) Sleep(1);
  }
  double first = Now();
  printf("  Play returned after %.1f ms%s; ", (returned - t) * 1000, Answered(answer).c_str());
  if (drawn) {
    printf("first frame drawn after %.1f ms%s\n", (first - t) * 1000, Ffmpeg(ffFirst).c_str());
  } else {
    printf("no frame drawn within %.0f s\n", kFirstFrameDeadline);
  }
  if (!answer.empty()) return;

  // Paused, and with no messages handled between the calls: the playback
  // decode stays where it is, and GetVideoFrame decodes the frame itself.
  plugin.CallByName("Vantoro-SetRate", "0");
  host.windows.Pump(300);
  std::vector<double> set, get, pair;
  std::string failed;
  for (int i = 0; i < seeks; ++i) {
    double t0 = Now();
    std::string a = plugin.CallByName("Vantoro-SetTime", times[i % 2]);
    double t1 = Now();
    std::string b = plugin.CallByName("Vantoro-GetVideoFrame", "");
    double t2 = Now();
    if (!a.empty() || !b.empty()) {
      failed = " (SetTime answered \"" + a + "\", GetVideoFrame \"" + b + "\")";
      break;
    }
    set.push_back((t1 - t0) * 1000);
    get.push_back((t2 - t1) * 1000);
    pair.push_back((t2 - t0) * 1000);
  }
  Spread s = Of(set), g = Of(get), p = Of(pair);
  printf("  seek to %s / %s and capture, median of %zu (slowest):%s\n", times[0].c_str(), times[1].c_str(),
         pair.size(), failed.c_str());
  printf("    SetTime %.1f ms (%.1f), GetVideoFrame %.1f ms (%.1f), both %.1f ms (%.1f)%s\n", s.median, s.slowest,
         g.median, g.slowest, p.median, p.slowest, Ffmpeg(ffSeek).c_str());
  plugin.CallByName("Vantoro-Stop", "");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || (argc - 3) % 5) {
    fprintf(stderr, "usage: decode_bench.exe TIME_A TIME_B [LABEL MOVIE SEEKS FF_FIRST FF_SEEK]...\n");
    return 2;
  }
  std::string times[2] = {argv[1], argv[2]};
  rig::HostRig host;
  std::string error;
  if (!host.Open(Folder(), &error)) {
    fprintf(stderr, "cannot set up the host: %s\n", error.c_str());
    return 1;
  }
  for (int i = 3; i + 4 < argc; i += 5) {
    Movie(host, std::max(1, atoi(argv[i + 2])), times, argv[i], argv[i + 1], argv[i + 3], argv[i + 4]);
    fflush(stdout);
  }
  host.Close();
  return 0;
}
