// The time stretcher as a listener hears it: pitch, level, length and
// continuity of stretched tones, content of chirps and chords, the exact
// pass-through at rate 1, and the positions the player syncs to.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "engine/audio/time_stretch.h"

using namespace vmedia;

namespace {

using Pcm = std::vector<int16_t>;
const double kPi = std::acos(-1.0);

// Interleaved; the right channel is the left inverted, so any mix-up of
// channels or frames shows.
template <typename Wave>
Pcm Make(int channels, size_t frames, Wave wave) {
  Pcm pcm(frames * channels);
  for (size_t i = 0; i < frames; ++i) {
    int16_t v = int16_t(std::lround(wave(i)));
    pcm[i * channels] = v;
    if (channels == 2) pcm[i * channels + 1] = int16_t(-v);
  }
  return pcm;
}

Pcm Tone(int channels, int rate, size_t frames, double hz, double amp = 10000) {
  return Make(channels, frames, [&](size_t i) { return amp * std::sin(2 * kPi * hz * i / rate); });
}

// Streams `in` through in pieces, calling `between` before each pull with
// the frames out so far; flushes at the end of the input.
template <typename Between>
Pcm Stream(TimeStretcher& s, const Pcm& in, size_t pushFrames, size_t pullFrames, Between between) {
  int ch = s.channels();
  size_t frames = in.size() / ch, pushed = 0;
  Pcm out, piece(pullFrames * ch);
  for (;;) {
    while (pushed < frames) {
      size_t n = s.Push(&in[pushed * ch], std::min(pushFrames, frames - pushed));
      pushed += n;
      if (n < pushFrames) break;
    }
    if (pushed == frames) s.Flush();
    between(out.size() / ch);
    size_t got = s.Pull(piece.data(), pullFrames);
    out.insert(out.end(), piece.begin(), piece.begin() + got * ch);
    if (!got && pushed == frames) return out;
  }
}
Pcm Stream(TimeStretcher& s, const Pcm& in, size_t pushFrames = 1024, size_t pullFrames = 512) {
  return Stream(s, in, pushFrames, pullFrames, [](size_t) {});
}

std::vector<double> Left(const Pcm& pcm, int ch, size_t from = 0, size_t n = SIZE_MAX) {
  std::vector<double> v;
  for (size_t i = from; i < pcm.size() / ch && v.size() < n; ++i) v.push_back(pcm[i * ch]);
  return v;
}

// Frequency from upward zero crossings, interpolated within the sample.
double Frequency(const std::vector<double>& x, int rate) {
  double first = -1, last = -1;
  int count = 0;
  for (size_t i = 1; i < x.size(); ++i) {
    if (x[i - 1] < 0 && x[i] >= 0) {
      double t = i - 1 + x[i - 1] / (x[i - 1] - x[i]);
      if (first < 0) first = t;
      last = t;
      ++count;
    }
  }
  return count > 1 ? (count - 1) * rate / (last - first) : 0;
}

double Rms(const std::vector<double>& x) {
  double e = 0;
  for (double v : x) e += v * v;
  return std::sqrt(e / x.size());
}

// Goertzel power at hz, relative to a full-scale-amplitude tone's.
double Power(const std::vector<double>& x, double hz, int rate) {
  double w = 2 * kPi * hz / rate, s1 = 0, s2 = 0;
  for (double v : x) {
    double s0 = v + 2 * std::cos(w) * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  double p = s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
  return p / (x.size() * x.size() / 4.0);
}

double Db(double ratio) { return 20 * std::log10(ratio); }

// A 1 kHz tone's output: its pitch, its level in every 5 ms to the end,
// no jump larger than the tone's own steepest step, and the channels in
// step.
void ExpectCleanTone(const Pcm& out, int ch, int rate, double amp) {
  auto left = Left(out, ch);
  ASSERT_GT(left.size(), size_t(rate / 10));
  EXPECT_NEAR(Frequency(left, rate), 1000, 10);
  size_t win = rate / 200;
  for (size_t at = 0; at + win <= left.size(); at += win) {
    std::vector<double> w(left.begin() + at, left.begin() + at + win);
    ASSERT_NEAR(Db(Rms(w) / (amp / std::sqrt(2.0))), 0, 1.0) << "level at frame " << at;
  }
  double steepest = 2 * amp * std::sin(kPi * 1000 / rate) * 1.1 + 2;
  for (size_t i = 1; i < left.size(); ++i) {
    ASSERT_LE(std::fabs(left[i] - left[i - 1]), steepest) << "jump at frame " << i;
  }
  for (size_t i = 0; ch == 2 && i < left.size(); ++i) ASSERT_EQ(out[2 * i + 1], -out[2 * i]) << i;
}

struct Format {
  int channels, rate;
};

class StretchedTone : public ::testing::TestWithParam<std::tuple<Format, double>> {};

TEST_P(StretchedTone, KeepsPitchLevelAndLength) {
  auto [format, speed] = GetParam();
  TimeStretcher s(format.channels, format.rate);
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.SetRate(speed));
  size_t frames = size_t(format.rate);  // 1 s
  Pcm out = Stream(s, Tone(format.channels, format.rate, frames, 1000));
  size_t outFrames = out.size() / format.channels;
  EXPECT_EQ(outFrames, size_t(std::ceil(frames / speed)));
  // The last frame out may stand for input up to a frame past the end.
  EXPECT_GE(s.InputPosition(), double(frames));
  EXPECT_LT(s.InputPosition(), frames + speed);
  ExpectCleanTone(out, format.channels, format.rate, 10000);
}

INSTANTIATE_TEST_SUITE_P(Rates, StretchedTone,
                         ::testing::Combine(::testing::Values(Format{2, 44100}, Format{1, 8000}, Format{2, 48000},
                                                              Format{1, 22050}),
                                            ::testing::Values(0.5, 0.75, 1.5, 2.0)));

// Sound in one channel only is matched and kept as well as in both.
TEST(TimeStretch, OneChannelAloneKeepsItsSound) {
  TimeStretcher s(2, 44100);
  ASSERT_TRUE(s.SetRate(0.75));
  Pcm in = Tone(1, 44100, 44100, 1000), stereo(2 * in.size(), 0);
  for (size_t i = 0; i < in.size(); ++i) stereo[2 * i + 1] = in[i];
  Pcm out = Stream(s, stereo), right;
  for (size_t i = 0; i < out.size(); i += 2) {
    ASSERT_EQ(out[i], 0);
    right.push_back(out[i + 1]);
  }
  ExpectCleanTone(right, 1, 44100, 10000);
}

TEST(TimeStretch, RateOnePassesThroughBitExactAtOnce) {
  TimeStretcher s(2, 44100);
  std::mt19937 random(7);
  Pcm in = Make(2, 20000, [&](size_t) { return double(int16_t(random())); });
  Pcm out(in.size());
  size_t done = 0;
  for (size_t n : {1, 2, 511, 4096, 7000, 8390}) {
    ASSERT_EQ(s.Push(&in[done * 2], n), n);
    ASSERT_EQ(s.Pull(&out[done * 2], n + 5), n) << "every pushed frame comes out, and only those";
    done += n;
    EXPECT_EQ(s.InputPosition(), double(done));
  }
  EXPECT_EQ(out, in);

  // Back to 1 after stretching: the samples again pass unchanged, from
  // exactly the input frame the position says.
  s.Reset();
  ASSERT_TRUE(s.SetRate(0.75));
  ASSERT_EQ(s.Push(in.data(), 6000), 6000u);
  size_t hops = 3 * size_t(std::lround(44100 * kStretchHopSeconds));
  Pcm piece(6000 * 2);
  ASSERT_EQ(s.Pull(piece.data(), hops), hops);
  ASSERT_TRUE(s.SetRate(1));
  double at = s.InputPosition();
  EXPECT_NEAR(at, hops * 0.75, 44100 * kStretchToleranceSeconds + 1);
  ASSERT_EQ(at, std::floor(at));
  size_t n = s.Pull(piece.data(), 6000);
  ASSERT_EQ(n, 6000 - size_t(at));
  EXPECT_TRUE(std::equal(piece.begin(), piece.begin() + n * 2, in.begin() + size_t(at) * 2));
}

// Every rate change (including into and out of the pass-through) while
// playing: no click, no gap, no change of pitch; the position never runs
// backward except for the documented step to the true position at 1.
TEST(TimeStretch, RateChangesWhilePlayingAreSeamless) {
  const int rate = 44100;
  TimeStretcher s(2, rate);
  const double schedule[] = {1, 0.5, 2, 1, 0.75, 1.5, 1, 2, 0.5};
  size_t change = 0;
  double last = 0;
  Pcm out = Stream(s, Tone(2, rate, 3 * rate, 1000), 777, 1000, [&](size_t outFrames) {
    double now = s.InputPosition();
    EXPECT_GE(now, last - (s.rate() == 1 ? rate * kStretchToleranceSeconds + 1 : 0));
    last = now;
    if (outFrames >= (change + 1) * size_t(rate / 4) && change + 1 < std::size(schedule)) {
      ASSERT_TRUE(s.SetRate(schedule[++change]));
    }
  });
  EXPECT_EQ(change + 1, std::size(schedule));
  EXPECT_NEAR(s.InputPosition(), 3.0 * rate, 1);
  ExpectCleanTone(out, 2, rate, 10000);
}

TEST(TimeStretch, ResetDropsEverythingAtOnce) {
  TimeStretcher s(2, 44100);
  ASSERT_TRUE(s.SetRate(0.5));
  Pcm old = Tone(2, 44100, 10000, 1000);
  Pcm piece(4000 * 2);
  ASSERT_EQ(s.Push(old.data(), 10000), 10000u);
  ASSERT_GT(s.Pull(piece.data(), 3000), 0u);
  s.Flush();
  s.Reset();
  EXPECT_EQ(s.InputPosition(), 0.0);
  EXPECT_EQ(s.Pull(piece.data(), 4000), 0u) << "nothing of the old stream is left";
  EXPECT_EQ(s.rate(), 0.5);

  // The new stream starts with its own first frame, and plays clean.
  Pcm fresh = Tone(2, 44100, 44100, 1000, -8000);
  ASSERT_EQ(s.Push(fresh.data(), 1000), 1000u) << "a flush does not outlive a reset";
  s.Reset();
  Pcm out = Stream(s, fresh);
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out[0], fresh[0]);
  EXPECT_EQ(out[1], fresh[1]);
  EXPECT_EQ(out.size(), fresh.size() * 2);
  ExpectCleanTone(out, 2, 44100, 8000);
}

// A chirp at every output moment has the pitch its input had at the input
// time the position reports; a chord keeps both notes and gains no new ones.
TEST(TimeStretch, ChirpsAndChordsKeepTheirContent) {
  const int rate = 44100;
  for (double speed : {0.5, 2.0}) {
    TimeStretcher s(1, rate);
    ASSERT_TRUE(s.SetRate(speed));
    auto hz = [&](double t) { return 200 + 900 * t; };  // 200 Hz to 2 kHz in 2 s
    Pcm chirp = Make(1, 2 * rate, [&](size_t i) {
      double t = double(i) / rate;
      return 9000 * std::sin(2 * kPi * (200 * t + 450 * t * t));
    });
    std::vector<std::pair<size_t, double>> positions;
    Pcm out = Stream(s, chirp, 1024, 882, [&](size_t at) { positions.push_back({at, s.InputPosition()}); });
    for (auto [at, input] : positions) {
      if (at + 882 > out.size()) continue;
      double expect = hz((input + 441 * speed) / rate);
      EXPECT_NEAR(Frequency(Left(out, 1, at, 882), rate), expect, 15 + expect * 0.02)
          << speed << "x at output frame " << at;
    }

    TimeStretcher c(1, rate);
    ASSERT_TRUE(c.SetRate(speed));
    Pcm chord = Make(1, rate, [&](size_t i) {
      return 6000 * std::sin(2 * kPi * 440 * i / rate) + 3000 * std::sin(2 * kPi * 1320 * i / rate);
    });
    auto tone = Left(Stream(c, chord), 1, rate / 10, rate / 4);
    EXPECT_NEAR(Db(std::sqrt(Power(tone, 440, rate)) / 6000), 0, 1) << speed;
    EXPECT_NEAR(Db(std::sqrt(Power(tone, 1320, rate)) / 3000), 0, 1) << speed;
    for (double shifted : {440 * speed, 1320 * speed, 880.0}) {
      EXPECT_LT(std::sqrt(Power(tone, shifted, rate)), 300) << speed << "x at " << shifted << " Hz";
    }
  }
}

// What a listener hears lies where InputPosition() and HeardOffset() say:
// the player dates each block of sound by them, and the picture follows.
// A chirp's pitch names its input time. The position alone lags the sound
// by about 25 ms at rate 0.5, as the search finds its frames ahead.
TEST(TimeStretch, HeardOffsetPlacesTheSoundWhereItIsHeard) {
  const int rate = 44100;
  for (double speed : {0.5, 0.75, 1.5, 2.0}) {
    TimeStretcher s(1, rate);
    ASSERT_TRUE(s.SetRate(speed));
    Pcm chirp = Make(1, 3 * rate, [&](size_t i) {
      double t = double(i) / rate;
      return 9000 * std::sin(2 * kPi * (300 * t + 200 * t * t));  // 300 Hz rising 400 Hz a second
    });
    const size_t block = 441;
    std::vector<std::pair<size_t, double>> placed;
    Pcm out = Stream(s, chirp, 1024, block,
                     [&](size_t at) { placed.push_back({at, s.InputPosition() + s.HeardOffset()}); });
    double sum = 0;
    int n = 0;
    for (auto [at, input] : placed) {
      if (at < size_t(rate / 5) || at + block > out.size() || input > 2.5 * rate) continue;
      double heard = (Frequency(Left(out, 1, at, block), rate) - 300) / 400 * rate;  // input frame
      double said = input + block / 2.0 * speed;                                     // at the block's middle
      sum += (heard - said) / speed / rate * 1000;  // ms of output
      ++n;
    }
    ASSERT_GT(n, 50) << speed;
    EXPECT_LT(std::fabs(sum / n), 10.0) << speed << "x: heard " << sum / n << " ms from where it was placed";
  }
}

// The whole of a stream is heard, even one shorter than a frame, and the
// output lasts the input's length over the rate.
TEST(TimeStretch, FlushPlaysOutTheLastInput) {
  for (double speed : {0.5, 1.0, 2.0}) {
    TimeStretcher s(1, 8000);
    ASSERT_TRUE(s.SetRate(speed));
    Pcm blip = Tone(1, 8000, 80, 1000);  // 10 ms
    Pcm out = Stream(s, blip);
    EXPECT_EQ(out.size(), size_t(std::ceil(80 / speed))) << speed;
    EXPECT_GT(Rms(Left(out, 1)), 0.5 * 10000 / std::sqrt(2.0)) << speed;
    EXPECT_EQ(s.Pull(out.data(), 1), 0u);
    EXPECT_EQ(s.Push(blip.data(), 80), 0u) << "no input after the end";
  }
  // A tone ending a silent second is heard to its end.
  TimeStretcher s(1, 8000);
  ASSERT_TRUE(s.SetRate(0.5));
  Pcm in(8000, 0);
  Pcm tail = Tone(1, 8000, 400, 1000);
  in.insert(in.end(), tail.begin(), tail.end());
  Pcm out = Stream(s, in);
  EXPECT_NEAR(Db(Rms(Left(out, 1, out.size() - 800, 640)) / (10000 / std::sqrt(2.0))), 0, 1);
}

// Pieces of any size, down to a frame at a time, give the same sound.
TEST(TimeStretch, OutputDoesNotDependOnPieceSizes) {
  std::mt19937 random(3);
  std::normal_distribution<double> noise(0, 2000);
  Pcm music = Make(2, 30000, [&](size_t i) { return 5000 * std::sin(i * 0.05) + noise(random); });
  for (double speed : {0.6, 1.3}) {
    TimeStretcher a(2, 44100), b(2, 44100);
    a.SetRate(speed);
    b.SetRate(speed);
    EXPECT_EQ(Stream(a, music, 1, 1), Stream(b, music, 30000, 4093)) << speed;
  }
}

TEST(TimeStretch, RefusesWhatItCannotPlay) {
  for (auto [channels, rate] : {std::pair{0, 44100}, {3, 44100}, {1, 7999}, {2, 48001}, {-1, 0}}) {
    TimeStretcher s(channels, rate);
    EXPECT_FALSE(s.ok()) << channels << " " << rate;
    int16_t pcm[16] = {};
    EXPECT_EQ(s.Push(pcm, 4), 0u);
    EXPECT_EQ(s.Pull(pcm, 4), 0u);
  }
  TimeStretcher s(1, 44100);
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  ASSERT_TRUE(s.SetRate(0.75));
  for (double bad : {nan, inf, -inf, 0.0, -1.0, 0.4999, 2.0001, -0.75}) {
    EXPECT_FALSE(s.SetRate(bad)) << bad;
    EXPECT_EQ(s.rate(), 0.75);
  }
  EXPECT_TRUE(s.SetRate(kMinStretchRate));
  EXPECT_TRUE(s.SetRate(kMaxStretchRate));
  EXPECT_EQ(s.Push(nullptr, 10), 0u);
  EXPECT_EQ(s.Pull(nullptr, 10), 0u);
}

}  // namespace
