// Two-hour files libavformat reads, as a user meets them: Vantoro-GetDuration
// by path, and Vantoro-Play to the first frame on screen, beside the times
// of ffprobe's and ffmpeg's whole processes on the same file (measured by
// scripts/bench natively, before this runs). Prints figures; asserts
// nothing.
//
//   format_bench.exe LABEL PATH FFPROBE_MS FFMPEG_FIRST_FRAME_MS [...]
//   (FFMPEG_FIRST_FRAME_MS "-" for a file without video)
#include <windows.h>

#include <algorithm>
#include <stdio.h>
#include <string>
#include <vector>

#include "bench/measure.h"
#include "standin/host_windows.h"
#include "tests/host_rig.h"

int main(int argc, char** argv) {
  if (argc < 5 || (argc - 1) % 4) {
    fprintf(stderr, "usage: format_bench.exe LABEL PATH FFPROBE_MS FFMPEG_FIRST_FRAME_MS [...]\n");
    return 2;
  }
  rig::HostRig host;
  std::string error;
  if (!host.Open(Folder(), &error)) {
    fprintf(stderr, "cannot set up the host: %s\n", error.c_str());
    return 1;
  }
  standin::Plugin& plugin = host.plugin;
  plugin.CallByName("Vantoro-Version", "");
  printf("two-hour files through libavformat (ffprobe and ffmpeg natively, whole process)\n");
  for (int i = 1; i + 3 < argc; i += 4) {
    std::string label = argv[i], path = argv[i + 1], probe = argv[i + 2], first = argv[i + 3];
    std::vector<double> times;
    std::string duration;
    for (int k = 0; k < 5; ++k) {
      double t = Now();
      duration = plugin.CallByName("Vantoro-GetDuration", path);
      times.push_back((Now() - t) * 1000);
    }
    std::sort(times.begin(), times.end());
    printf("  %-10s GetDuration %s: median of 5 %.1f ms (ffprobe %s ms)\n", label.c_str(), duration.c_str(), times[2],
           probe.c_str());
    if (first == "-") continue;
    host.windows.Pump(100);
    double t = Now();
    std::string answer = plugin.CallByName("Vantoro-Play", path + "|0|1|||0|0|320|240");
    while (Now() - t < 20 && PixelAt(host.document, 160, 120) == standin::kDocumentBackground) host.windows.Pump(1);
    printf("  %-10s Play to the first frame drawn: %.1f ms%s (ffmpeg's first frame %s ms)\n", label.c_str(),
           (Now() - t) * 1000, answer.empty() ? "" : (" (answered " + answer + ")").c_str(), first.c_str());
    plugin.CallByName("Vantoro-Stop", "");
    InvalidateRect(host.document, nullptr, TRUE);
  }
  return 0;
}
