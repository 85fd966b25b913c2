// Long runs of the plug-in with the media engine: thousands of sessions
// started and ended in every way the host can end them, with the process's
// handles, GDI and USER objects, windows, threads and private memory read
// before and after each phase. Prints figures; asserts nothing.
//
//   soak.exe FIRST_MOVIE SECOND_MOVIE TINY_MOVIE [PERCENT]
//
// FIRST and SECOND play for a few seconds (two codecs); TINY lasts a
// fraction of a second. PERCENT scales every phase's cycle count (100).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string>

#include "tests/process_counts.h"
#include "tests/soak_phases.h"

namespace {

struct Planned {
  soak::Phase phase;
  int cycles;
};

const Planned kPlan[] = {
    {soak::Phase::PlayStop, 1000},         {soak::Phase::PlayToEnd, 200},
    {soak::Phase::CloseWhilePlaying, 200}, {soak::Phase::StopInWindowProc, 200},
    {soak::Phase::PlayInWindowProc, 200},  {soak::Phase::PlayWhileStarting, 200},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: soak.exe FIRST_MOVIE SECOND_MOVIE TINY_MOVIE [PERCENT]\n");
    return 2;
  }
  int percent = argc > 4 ? atoi(argv[4]) : 100;
  soak::Rig rig;
  std::string error;
  if (!rig.Open(Folder(), soak::Movies{argv[1], argv[2], argv[3]}, &error)) {
    fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }

  // Warm-up: every path once, so that what the system and the engine set up
  // on first use (Media Foundation, the decoders' code, caches) is there
  // before the first reading.
  for (const Planned& p : kPlan) soak::RunPhase(rig, p.phase, 4);

  soak::ProcessCounts first = soak::ReadProcessCounts();
  printf("soak: %-28s %6s %5s  %-22s %-18s %-18s %-18s %-18s %-34s %8s\n", "phase", "cycles", "fails",
         "handles", "GDI objects", "USER objects", "windows", "threads", "private memory", "time");
  int failures = 0;
  for (const Planned& p : kPlan) {
    int cycles = p.cycles * percent / 100;
    if (cycles < 1) cycles = 1;
    soak::ProcessCounts before = soak::ReadProcessCounts();
    soak::PhaseResult r = soak::RunPhase(rig, p.phase, cycles);
    soak::ProcessCounts after = soak::ReadProcessCounts();
    failures += r.failures;
    printf("soak: %-28s %6d %5d  %-22s %-18s %-18s %-18s %-18s %-34s %7.1fs\n", soak::PhaseName(p.phase), r.cycles,
           r.failures, soak::Change(before.handles, after.handles).c_str(),
           soak::Change(before.gdiObjects, after.gdiObjects).c_str(),
           soak::Change(before.userObjects, after.userObjects).c_str(),
           soak::Change(before.windows, after.windows).c_str(), soak::Change(before.threads, after.threads).c_str(),
           soak::ChangeBytes(before.privateBytes, after.privateBytes).c_str(), r.seconds);
    if (r.failures) printf("soak:   first failure: %s\n", r.firstFailure.c_str());
    fflush(stdout);
  }
  soak::ProcessCounts last = soak::ReadProcessCounts();
  printf("soak: %-28s %6s %5d  %-22s %-18s %-18s %-18s %-18s %-34s\n", "all phases", "", failures,
         soak::Change(first.handles, last.handles).c_str(), soak::Change(first.gdiObjects, last.gdiObjects).c_str(),
         soak::Change(first.userObjects, last.userObjects).c_str(), soak::Change(first.windows, last.windows).c_str(),
         soak::Change(first.threads, last.threads).c_str(), soak::ChangeBytes(first.privateBytes, last.privateBytes).c_str());
  rig.Close();
  return failures ? 1 : 0;
}
