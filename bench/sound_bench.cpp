// The player's side of the sound benchmark: plays each listening scenario
// through the plug-in (rate 1, 0.5 and 2, a loop, and a movie whose picture
// is decoded beside its sound) and prints, for each, how the engine kept
// the sound device fed:
//
//   scenario NAME HZ SECONDS starts S blocks B underruns U deepest D
//
// HZ is the scenario's tone, so that what was heard can be matched to it;
// SECONDS how long it should sound. Asserts nothing.
//
//   sound_bench.exe MEDIA_FOLDER\    (tone files made by bench/sound_bench.sh)
#include <windows.h>

#include <stdio.h>

#include <string>

#include "engine/audio/sound_counters.h"
#include "tests/host_rig.h"

namespace {

using CountersProc = void (*)(vmedia::SoundCounters*, int);

vmedia::SoundCounters Take(CountersProc counters) {
  vmedia::SoundCounters c = {};
  c.size = sizeof c;
  if (counters) counters(&c, 1);
  return c;
}

struct Scenario {
  const char* name;
  const char* file;
  const char* args;  // after the path
  int hz;
  double seconds;    // heard
  int stopAfterMs;   // 0: plays to its end
};

const Scenario kScenarios[] = {
    {"rate-1", "tone-700.wav", "|0|1", 700, 8.0, 0},
    {"rate-0.5", "tone-900.wav", "|0|0.5", 900, 8.0, 0},
    {"rate-2", "tone-1100.wav", "|0|2", 1100, 8.0, 0},
    {"loop", "tone-1300.wav", "|1|1|00:00:00.50|00:00:01.50", 1300, 8.0, 8000},
    {"movie-rate-1", "movie-1500.mp4", "|0|1", 1500, 8.0, 0},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: sound_bench.exe MEDIA_FOLDER\\\n");
    return 2;
  }
  const std::string media = argv[1];
  rig::HostRig host;
  std::string error;
  if (!host.Open(Folder(), &error)) {
    fprintf(stderr, "cannot set up the host: %s\n", error.c_str());
    return 1;
  }
  host.windows.Pump(300);
  // Binds the engine, so that its counters can be found.
  host.Call("Vantoro-GetDuration", media + kScenarios[0].file);
  CountersProc counters = reinterpret_cast<CountersProc>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("VantoroMedia.dll"), "VantoroMediaSoundCounters")));
  if (!counters) {
    fprintf(stderr, "the engine counts nothing (no VantoroMediaSoundCounters)\n");
    return 1;
  }
  for (const Scenario& s : kScenarios) {
    Take(counters);
    std::string answer = host.Call("Vantoro-Play", media + s.file + s.args);
    if (!answer.empty()) {
      fprintf(stderr, "Vantoro-Play %s answered %s\n", s.file, answer.c_str());
      return 1;
    }
    if (s.stopAfterMs) {
      host.windows.Pump(s.stopAfterMs);
      host.Call("Vantoro-Stop");
    } else if (!host.PlayToEnd(int(s.seconds * 1000) + 60000)) {
      fprintf(stderr, "%s did not play to its end\n", s.name);
      return 1;
    }
    host.Call("Vantoro-Stop");
    vmedia::SoundCounters c = Take(counters);
    printf("scenario %s %d %.3f starts %u blocks %u underruns %u deepest %u\n", s.name, s.hz, s.seconds,
           c.starts, c.blocks, c.underruns, c.deepestMs);
    fflush(stdout);
    host.windows.Pump(800);
  }
  host.Close();
  return 0;
}
