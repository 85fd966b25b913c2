// Long runs of the plug-in with the media engine in the stand-in host, for
// the soak program (bench/soak.cpp) and its short form in the tests. Each
// phase repeats one way a session starts and ends and checks every answer;
// the callers read the process's counts around it.
//
//   Rig rig; rig.Open(folder, movies)   plug-in from folder, movies by name
//   PhaseResult r = RunPhase(rig, Phase::PlayStop, 100)
#pragma once
#include <windows.h>

#include <string>

#include "standin/host_windows.h"
#include "tests/host_rig.h"

namespace soak {

struct Movies {
  std::string first;   // Windows paths; a few seconds each, two codecs
  std::string second;
  std::string tiny;    // a fraction of a second, for plays to the end
};

// The host rig with the movies the phases play.
class Rig : public rig::HostRig {
 public:
  bool Open(const std::string& pluginFolder, const Movies& m, std::string* error) {
    movies = m;
    return HostRig::Open(pluginFolder, error);
  }
  // The window procedure of doc is not its own (ours is installed).
  static bool Subclassed(HWND doc) { return standin::HostWindows::Subclassed(doc); }

  Movies movies;
};

enum class Phase {
  PlayStop,            // Play, a few messages, Stop
  PlayToEnd,           // Play the tiny movie until it ends, then a call
  CloseWhilePlaying,   // a new document, Play into it, close it, a call
  StopInWindowProc,    // the host's procedure calls Stop from a message
  PlayInWindowProc,    // the host's procedure calls Play from a message
  PlayWhileStarting,   // Play twice back to back; Play or Stop before the start
};

const char* PhaseName(Phase phase);

struct PhaseResult {
  int cycles = 0;
  int failures = 0;
  std::string firstFailure;
  double seconds = 0;
};

PhaseResult RunPhase(Rig& rig, Phase phase, int cycles);

}  // namespace soak
