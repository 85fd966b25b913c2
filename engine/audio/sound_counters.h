// How well the sound device was kept fed, counted over the whole process:
// what the benchmarks read (through the engine's VantoroMediaSoundCounters
// export) to tell a slow machine's dropouts from a faultless run.
#pragma once
#include <stdint.h>

namespace vmedia {

struct SoundCounters {
  uint32_t size;       // of this record, set by the caller
  uint32_t starts;     // streams begun on a device (Play, SetTime, a new rate)
  uint32_t blocks;     // blocks queued
  uint32_t underruns;  // times the device had played all it was given while more was to come
  uint32_t deepestMs;  // the deepest queue a device was allowed, in ms
};

void CountSoundStart();
void CountSoundBlock();
void CountSoundUnderrun();
void CountSoundDepth(uint32_t ms);

}  // namespace vmedia

// Copies the counts into *counters (as much of it as counters->size names)
// and, when reset is non-zero, starts them again from 0.
extern "C" void VantoroMediaSoundCounters(vmedia::SoundCounters* counters, int reset);
