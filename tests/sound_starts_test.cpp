// How often the engine starts a stream on the sound device, through the
// plug-in in the stand-in host with a real device (the build's own sound
// server). Play queues the sound with the device held before the movie
// starts; the start itself must let that queue go, not drop it and queue
// again: a device that had begun on the dropped queue is heard twice over.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "engine/audio/sound_counters.h"
#include "tests/host_rig_fixture.h"

namespace {

using CountersProc = void (*)(vmedia::SoundCounters*, int);

class SoundStarts : public rig::HostRigTest {
 protected:
  void SetUp() override {
    rig::HostRigTest::SetUp();
    // Binds the engine, so that its counters can be found.
    Call("Vantoro-GetDuration", Media("sound.m4a"));
    counters_ = reinterpret_cast<CountersProc>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("VantoroMedia.dll"), "VantoroMediaSoundCounters")));
    ASSERT_NE(counters_, nullptr);
  }

  static std::string Media(const char* name) { return WindowsPath(std::string(VANTORO_MEDIA_DIR "/") + name); }

  vmedia::SoundCounters Take(bool reset) {
    vmedia::SoundCounters c = {};
    c.size = sizeof c;
    counters_(&c, reset ? 1 : 0);
    return c;
  }

  // Movie seconds, from GetTime's hh:mm:ss.ff; -1 when it answers none.
  double Time() {
    const std::string t = Call("Vantoro-GetTime");
    int h = 0, m = 0, s = 0, f = 0;
    if (sscanf(t.c_str(), "%d:%d:%d.%d", &h, &m, &s, &f) != 4) return -1;
    return h * 3600 + m * 60 + s + f / 100.0;
  }

  // Pumps until the movie has played `seconds` past `from`.
  bool PlayedPast(double from, double seconds) {
    return windows.PumpUntil([&] { return Time() >= from + seconds; }, 60000);
  }

  CountersProc counters_ = nullptr;
};

TEST_F(SoundStarts, PlayLetsTheQueuedSoundGo) {
  // From the start, and from a start time: the preroll's queue starts from
  // there as well.
  for (const auto& [args, from] : {std::pair<const char*, double>{"", 0.0}, {"|0|1|00:00:01.00", 1.0}}) {
    Take(true);
    ASSERT_EQ(Call("Vantoro-Play", Media("sound.m4a") + args), "") << args;
    ASSERT_TRUE(PlayedPast(from, 0.3)) << args;
    EXPECT_EQ(Take(false).starts, 1u) << "Play" << args;
    Call("Vantoro-Stop");
  }
}

TEST_F(SoundStarts, JumpStartsAnew) {
  ASSERT_EQ(Call("Vantoro-Play", Media("sound.m4a")), "");
  ASSERT_TRUE(PlayedPast(0, 0.2));
  Take(true);
  ASSERT_EQ(Call("Vantoro-SetTime", "00:00:01.50"), "");
  ASSERT_TRUE(PlayedPast(1.5, 0.2));
  EXPECT_EQ(Take(false).starts, 1u);
  Call("Vantoro-Stop");
}

}  // namespace
