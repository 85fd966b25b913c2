// The sound of files libavformat reads for the engine, and of AMR in 3GP
// (read by our own movie reader), against ffmpeg's decode of the same
// stream (tests/media/make_format_media.sh leaves it beside each file as
// NAME.s16): where on the movie's time line it begins, that all of it
// sounds, and that it ends with the movie.
#include <windows.h>

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/audio/codec_sound.h"
#include "tests/sound_compare.h"
#include "engine/audio/format_sound.h"
#include "engine/container/byte_source.h"
#include "engine/container/movie_file.h"
#include "engine/objects/format_timeline.h"
#include "engine/platform/media_file.h"

using namespace vmedia;

namespace {

std::string Media(const std::string& name) { return "format-media\\" + name; }
std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::vector<uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ffmpeg's decode: signed 16-bit, the stream's own rate and channels.
std::vector<int16_t> Reference(const std::string& name) {
  std::vector<uint8_t> b = Bytes(Media(name + ".s16"));
  std::vector<int16_t> pcm(b.size() / 2);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = int16_t(b[2 * i] | b[2 * i + 1] << 8);
  return pcm;
}

// A column of formats.txt for one file (1: seconds ... 5: the video's lead).
double Listed(const std::string& name, int column) {
  std::ifstream in(Media("formats.txt"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string first, value;
    fields >> first;
    if (first != name) continue;
    for (int i = 0; i < column; ++i) fields >> value;
    return atof(value.c_str());
  }
  return -1;
}


double Level(const std::vector<int16_t>& pcm, size_t from, size_t count) {
  double sum = 0;
  for (size_t i = from; i < from + count && i < pcm.size(); ++i) sum += double(pcm[i]) * pcm[i];
  return count ? sqrt(sum / double(count)) : 0;
}

// A file libavformat reads, opened as the engine opens it: its time line,
// then its sound stream from the time line's origin to its end.
struct FormatSound {
  explicit FormatSound(const std::string& name) {
    HANDLE file = OpenMediaFile(Wide(Media(name)));
    ok = file != INVALID_HANDLE_VALUE && ReadFormatTimeline(file, Wide(Media(name)), &timeline) == 0 &&
         timeline.format.sound >= 0;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (ok)
      sound = OpenFormatSound(Wide(Media(name)), timeline.format.sound, timeline.format.origin, timeline.timeScale,
                              timeline.duration);
  }
  size_t DurationFrames() const {
    return size_t(llround(double(timeline.duration) * sound->Format().rate / timeline.timeScale));
  }
  bool ok = false;
  Timeline timeline;
  std::unique_ptr<SoundSource> sound;
};

TEST(FormatSound, WmaBeginsWithItsFirstPictureAndSoundsWholeToTheEnd) {
  // ffmpeg's muxer starts the file one frame of its WMA encoder's padding
  // before the tone, and the .wmv's first picture with the tone: that lead
  // is where the decode belongs, in the .wma as in the .wmv.
  const double lead = Listed("asf_wmv2.wmv", 5);
  ASSERT_GT(lead, 0.0);
  for (const char* name : {"sound.wma", "asf_wmv2.wmv"}) {
    SCOPED_TRACE(name);
    FormatSound f(name);
    ASSERT_TRUE(f.ok);
    ASSERT_TRUE(f.sound);
    ASSERT_EQ(1, f.sound->Format().channels);
    const int rate = f.sound->Format().rate;
    const std::vector<int16_t> want = Reference(name);
    ASSERT_GT(want.size(), size_t(rate));
    std::vector<int16_t> got = ReadAll(*f.sound, 10u << 20);
    EXPECT_NEAR(double(got.size()), double(f.DurationFrames()), 1.0) << "as long as the movie";

    // Where the decode fits best, within 5 ms of the lead either way: a
    // frame late (46 ms) lies outside.
    const long at = lround(lead * rate), reach = rate / 200;
    long best = -1;
    double bestError = 1e9;
    for (long k = at - reach; k <= at + reach; ++k) {
      if (k < 0 || size_t(k) >= got.size()) continue;
      const size_t n = std::min(want.size(), got.size() - size_t(k));
      const double e = RelativeError(got, size_t(k), want, 0, n);
      if (e < bestError) bestError = e, best = k;
    }
    EXPECT_LT(bestError, 0.02) << "ffmpeg's decode heard from " << lead * 1000 << " ms";
    // ASF counts in whole milliseconds, each time cut short of its own.
    EXPECT_LE(labs(best - at), rate / 1000) << "begins at sample " << best << ", the first picture at " << at;
    EXPECT_EQ(0.0, Level(got, 0, size_t(std::max(best, 0L)))) << "silent before";
    // All of it before the end, but for the ASF's rounding to the millisecond.
    EXPECT_LE(double(best) + double(want.size()), double(got.size()) + rate / 1000.0)
        << "its last frame cut by the movie's end";
  }
}

// The movie of a 3GP file, parsed as the engine parses it.
std::shared_ptr<const MovieModel> Model(const std::string& name) {
  std::vector<uint8_t> file = Bytes(Media(name));
  MemorySource src(file.data(), file.size());
  auto m = std::make_shared<MovieModel>();
  if (ParseMovie(src, m.get()) != ParseStatus::Ok) return nullptr;
  return m;
}

TEST(FormatSound, AmrBareAndIn3gpIsFfmpegsDecodeToItsLastFrame) {
  struct Case {
    const char* name;
    int rate;
  } cases[] = {{"sound_nb.amr", 8000}, {"sound_wb.amr", 16000}, {"sound_nb.3gp", 8000}, {"sound_wb.3gp", 16000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = c.name;
    std::unique_ptr<SoundSource> sound;
    size_t frames = 0;
    if (name.substr(name.size() - 4) == ".3gp") {
      std::shared_ptr<const MovieModel> model = Model(name);
      ASSERT_TRUE(model);
      ASSERT_GE(model->soundTrack(), 0);
      EXPECT_TRUE(CodecSounds(model->tracks[size_t(model->soundTrack())])) << "our own decoder";
      frames = size_t(llround(double(model->duration) * c.rate / model->timeScale));
      sound = OpenCodecSound(model, Wide(Media(name)));
    } else {
      FormatSound f(name);
      ASSERT_TRUE(f.ok);
      EXPECT_EQ(c.rate, f.timeline.timeScale);
      frames = size_t(f.timeline.duration);
      sound = std::move(f.sound);
    }
    ASSERT_TRUE(sound);
    EXPECT_EQ(c.rate, sound->Format().rate);
    EXPECT_EQ(1, sound->Format().channels);

    // 100 frames of 20 ms, all of them, each as ffmpeg decodes it.
    const size_t frame = size_t(c.rate / 50);
    EXPECT_EQ(100 * frame, frames);
    const std::vector<int16_t> want = Reference(name);
    ASSERT_EQ(100 * frame, want.size());
    std::vector<int16_t> got = ReadAll(*sound, 10u << 20);
    ASSERT_EQ(want.size(), got.size());
    // Frame by frame: a decoder that went on from what the engine's probe
    // of the stream decoded sounded its first frames otherwise (the first
    // ten times too loud), and AMR-WB's drifted apart all through.
    double worst = 0;
    size_t worstAt = 0;
    for (size_t k = 0; k < 100; ++k) {
      const double e = RelativeError(got, k * frame, want, k * frame, frame);
      if (e > worst) worst = e, worstAt = k;
    }
    EXPECT_LT(worst, 0.02) << "frame " << worstAt;
    EXPECT_GT(Level(got, got.size() - frame, frame), 0.1 * Level(want, want.size() - frame, frame))
        << "the last frame sounds";

    // A seek between frames decodes on as the whole decode did, once the
    // decoder's memory of the frames before has settled.
    const size_t to = 37 * frame + frame / 3;
    ASSERT_TRUE(sound->Seek(double(to) / c.rate));
    std::vector<int16_t> after = ReadAll(*sound, 10u << 20);
    ASSERT_EQ(got.size() - to, after.size());
    EXPECT_LT(RelativeError(after, 2 * frame, got, to + 2 * frame, 10 * frame), 0.05);
  }
}

}  // namespace
