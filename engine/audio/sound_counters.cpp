#include "engine/audio/sound_counters.h"

#include <string.h>

#include <algorithm>
#include <atomic>

namespace vmedia {
namespace {

std::atomic<uint32_t> starts{0}, blocks{0}, underruns{0}, deepestMs{0};

}  // namespace

void CountSoundStart() { ++starts; }
void CountSoundBlock() { ++blocks; }
void CountSoundUnderrun() { ++underruns; }
void CountSoundDepth(uint32_t ms) {
  uint32_t seen = deepestMs.load();
  while (ms > seen && !deepestMs.compare_exchange_weak(seen, ms)) {
  }
}

}  // namespace vmedia

extern "C" void VantoroMediaSoundCounters(vmedia::SoundCounters* counters, int reset) {
  using namespace vmedia;
  if (!counters) return;
  SoundCounters now = {};
  now.size = sizeof now;
  now.starts = reset ? starts.exchange(0) : starts.load();
  now.blocks = reset ? blocks.exchange(0) : blocks.load();
  now.underruns = reset ? underruns.exchange(0) : underruns.load();
  now.deepestMs = reset ? deepestMs.exchange(0) : deepestMs.load();
  memcpy(counters, &now, std::min<size_t>(counters->size, sizeof now));
  counters->size = std::min<uint32_t>(counters->size, sizeof now);
}
