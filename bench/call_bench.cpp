// Round trips of external calls through FMExternCallProc, and the call gate
// against a direct call of the same engine routine. Prints figures; asserts
// nothing.
//
//   call_bench.exe MOVIE [ITERATIONS]
//
// Runs from a folder holding Vantoro.fmx and VantoroMedia.dll side by side.
#include <windows.h>

#include <algorithm>
#include <stdio.h>
#include <string>
#include <vector>

#include "media_interface/operations.h"
#include "quicktime/gate.h"
#include "standin/handles.h"
#include "standin/host_windows.h"
#include "standin/message_boxes.h"
#include "standin/plugin.h"

extern "C" TimeScale DirectDispatch1(void* dispatcher, uint32_t selector, uint32_t arg);

namespace {

double Microseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  return 1e6 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Figures {
  double median;
  double p99;
};

template <class F>
Figures Measure(int iterations, F call) {
  std::vector<double> times;
  times.reserve(iterations);
  for (int i = 0; i < iterations; ++i) {
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    call(i);
    QueryPerformanceCounter(&b);
    times.push_back(Microseconds(a, b));
  }
  std::sort(times.begin(), times.end());
  return {times[times.size() / 2], times[std::min(times.size() - 1, times.size() * 99 / 100)]};
}

std::string Folder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.find_last_of("\\/") + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: call_bench.exe MOVIE [ITERATIONS]\n");
    return 2;
  }
  std::string movie = argv[1];
  int iterations = argc > 2 ? atoi(argv[2]) : 20000;

  standin::MessageBoxDismisser boxes;
  standin::HostWindows windows;
  standin::Plugin plugin;
  if (!windows.Create() || !windows.OpenDocument("Movies") || !plugin.Load(Folder() + "Vantoro.fmx")) {
    fprintf(stderr, "cannot set up the host: %s\n", plugin.LoadError().c_str());
    return 1;
  }
  plugin.Initialise();
  int version = plugin.NumberOf("Vantoro-Version");
  int getTime = plugin.NumberOf("Vantoro-GetTime");
  int setTime = plugin.NumberOf("Vantoro-SetTime");
  std::string answer = plugin.CallByName("Vantoro-Play", movie + "|1");
  if (!answer.empty()) {
    fprintf(stderr, "Vantoro-Play answered %s\n", answer.c_str());
    return 1;
  }
  windows.Pump(200);

  printf("external call round trip through FMExternCallProc (%d calls each, microseconds)\n", iterations);
  Figures f = Measure(iterations, [&](int) { plugin.Call(version, ""); });
  printf("  Vantoro-Version           median %8.2f   p99 %8.2f\n", f.median, f.p99);
  f = Measure(iterations, [&](int) { plugin.Call(getTime, ""); });
  printf("  Vantoro-GetTime (playing) median %8.2f   p99 %8.2f\n", f.median, f.p99);
  f = Measure(iterations, [&](int i) { plugin.Call(setTime, (i & 1) ? "00:00:01.00" : "00:00:00.00"); });
  printf("  Vantoro-SetTime (playing) median %8.2f   p99 %8.2f\n", f.median, f.p99);
  plugin.CallByName("Vantoro-Stop", "");

  // The gate in this program binds VantoroMedia.dll beside it; the direct
  // path calls the same dispatcher through a function pointer.
  FSSpec spec;
  int16_t fileRef = 0;
  Movie m = nullptr;
  int16_t resId = 0;
  Boolean changed = 0;
  if (NativePathNameToFSSpec(movie.c_str(), &spec, 0) != 0 || OpenMovieFile(&spec, &fileRef, 1) != 0 ||
      NewMovieFromFile(&m, fileRef, &resId, nullptr, 0, &changed) != 0) {
    fprintf(stderr, "the gate could not open the movie\n");
    return 1;
  }
  void* dispatcher = reinterpret_cast<void*>(dispatchEntry);
  const int calls = 1000000;
  volatile TimeScale sink = 0;
  double best[2] = {1e30, 1e30};
  for (int round = 0; round < 5; ++round) {
    LARGE_INTEGER a, b, c;
    QueryPerformanceCounter(&a);
    for (int i = 0; i < calls; ++i) sink = GetMovieTimeScale(m);
    QueryPerformanceCounter(&b);
    for (int i = 0; i < calls; ++i) sink = DirectDispatch1(dispatcher, kSel_GetMovieTimeScale, reinterpret_cast<uint32_t>(m));
    QueryPerformanceCounter(&c);
    best[0] = std::min(best[0], Microseconds(a, b) * 1000.0 / calls);
    best[1] = std::min(best[1], Microseconds(b, c) * 1000.0 / calls);
  }
  (void)sink;
  printf("gate against a direct call of the engine's dispatcher (GetMovieTimeScale, best of 5 x %d)\n", calls);
  printf("  through the gate   %7.1f ns\n  direct             %7.1f ns\n  ratio              %7.2f\n", best[0],
         best[1], best[0] / best[1]);
  DisposeMovie(m);
  CloseMovieFile(fileRef);
  plugin.Shutdown();
  return 0;
}
