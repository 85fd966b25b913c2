// The engine's own sound decoding (OpenCodecSound, OpenWaveSound) against
// ffmpeg's decode of the same tracks (tests/media/make_media.sh writes it
// beside each file as NAME.aN.s16): every PCM form, the lossy codecs, WAV
// files, edits that trim, start late or replay the media, seeks to the
// frame, and damaged files.
#include <windows.h>

#include <gtest/gtest.h>
#include <math.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/audio/codec_sound.h"
#include "tests/sound_compare.h"
#include "engine/container/movie_file.h"
#include "engine/container/sound_packets.h"
#include "engine/audio/wave_sound.h"
#include "media_probe.h"

using namespace vmedia;

namespace {

std::string Media(const std::string& name) { return std::string(VANTORO_MEDIA_DIR) + "/" + name; }
std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::vector<uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<int16_t> Reference(const std::string& name, int track) {
  std::vector<uint8_t> b = Bytes(Media(name + ".a" + std::to_string(track) + ".s16"));
  std::vector<int16_t> pcm(b.size() / 2);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = int16_t(b[2 * i] | b[2 * i + 1] << 8);
  return pcm;
}

// The movie with only its `track`-th sound track enabled, so that it is
// the one to sound.
std::shared_ptr<const MovieModel> Model(const std::string& name, int track = 0) {
  std::vector<uint8_t> file = Bytes(Media(name));
  MemorySource src(file.data(), file.size());
  auto m = std::make_shared<MovieModel>();
  if (ParseMovie(src, m.get()) != ParseStatus::Ok) return nullptr;
  int n = 0;
  for (Track& t : m->tracks)
    if (t.kind == TrackKind::Sound) t.enabled = n++ == track;
  return m;
}


int MaxDifference(const std::vector<int16_t>& got, size_t from, const std::vector<int16_t>& want, size_t wantFrom,
                  size_t count) {
  int most = 0;
  for (size_t i = 0; i < count; ++i) most = std::max(most, abs(got[from + i] - want[wantFrom + i]));
  return most;
}

// Where the sound track's last edit ends.
double EditSeconds(const MovieModel& m) {
  const std::vector<SoundSegment> s = SoundSegments(m.tracks[size_t(m.soundTrack())], m);
  return s.empty() ? 0 : double(s.back().movieEnd) / m.timeScale;
}

struct Case {
  const char* file;
  int track;
  bool lossy;
  // A seek starts afresh what carries over from packet to packet (a
  // resampler's filter, IMA's predictor): close, not exact.
  bool approximateSeek = false;
};

// Every sound track ffmpeg wrote: the whole decode against ffmpeg's (to the
// value for PCM and ALAC, closely for the lossy codecs), as long as its
// edit, and a seek between packets that lands on the same frames.
void CheckTrack(const Case& c, std::shared_ptr<const MovieModel> model, std::unique_ptr<SoundSource> sound) {
  SCOPED_TRACE(std::string(c.file) + " track " + std::to_string(c.track));
  ASSERT_TRUE(sound);
  std::map<std::string, std::string> probe = ReadProbe(Media(std::string(c.file) + ".probe"));
  const SoundFormat f = sound->Format();
  const std::vector<int16_t> want = Reference(c.file, c.track);
  ASSERT_FALSE(want.empty());

  std::vector<int16_t> got = ReadAll(*sound, 10u << 20);
  const size_t ch = size_t(f.channels), gotFrames = got.size() / ch, wantFrames = want.size() / ch;
  if (model) EXPECT_NEAR(EditSeconds(*model) * f.rate, double(gotFrames), 1.0) << "as long as the track's edits";
  // ffmpeg gives lossy codecs' last packet whole and PCM-like ones up to
  // the media's end; the edit may be a little longer or shorter.
  EXPECT_NEAR(double(gotFrames), double(wantFrames), c.lossy ? 1600.0 : 20.0);
  const size_t both = std::min(gotFrames, wantFrames) * ch;
  if (c.lossy) {
    EXPECT_LT(RelativeError(got, 0, want, 0, both), 0.02);
  } else {
    EXPECT_LE(MaxDifference(got, 0, want, 0, both), 1);
  }

  // A seek to a frame between packets (and chunks) decodes on from there.
  const size_t at = size_t(f.rate) * 2137 / 10000;
  ASSERT_TRUE(sound->Seek(double(at) / f.rate));
  std::vector<int16_t> after = ReadAll(*sound, 4096);
  ASSERT_GE(after.size(), 4096 * ch);
  if (c.lossy || c.approximateSeek) {
    EXPECT_LT(RelativeError(after, 0, got, at * ch, 4096 * ch), 0.02);
  } else {
    EXPECT_LE(MaxDifference(after, 0, got, at * ch, 4096 * ch), 0) << "the same frames as the whole decode";
  }
  (void)probe;
}

}  // namespace

TEST(CodecSound, EveryTrackOfSoundsMovAndMp4) {
  const Case cases[] = {
      {"sounds.mov", 0, false}, {"sounds.mov", 1, false}, {"sounds.mov", 2, false}, {"sounds.mov", 3, false},
      {"sounds.mov", 4, false}, {"sounds.mov", 5, false}, {"sounds.mov", 6, false}, {"sounds.mov", 7, false, true},
      {"sounds.mov", 8, true},  {"sounds.mov", 9, true},  {"sounds.mov", 10, false}, {"sounds.mov", 11, false, true},
      {"sounds.mp4", 0, true},  {"sounds.mp4", 1, true},  {"sounds.mp4", 2, true},  {"sounds.mp4", 3, false},
  };
  for (const Case& c : cases) {
    std::shared_ptr<const MovieModel> model = Model(c.file, c.track);
    ASSERT_TRUE(model);
    EXPECT_TRUE(CodecSounds(model->tracks[size_t(model->soundTrack())])) << c.file << " " << c.track;
    CheckTrack(c, model, OpenCodecSound(model, Wide(Media(c.file))));
  }
}

TEST(CodecSound, FormatsAsThePlayerTakesThem) {
  // Mono stays mono; 96 kHz plays at 48 kHz.
  std::unique_ptr<SoundSource> s = OpenCodecSound(Model("sounds.mov", 0), Wide(Media("sounds.mov")));
  ASSERT_TRUE(s);
  EXPECT_EQ(44100, s->Format().rate);
  EXPECT_EQ(1, s->Format().channels);
  s = OpenCodecSound(Model("sounds.mov", 11), Wide(Media("sounds.mov")));
  ASSERT_TRUE(s);
  EXPECT_EQ(48000, s->Format().rate);
  // ISO entries say stereo; the stream is mono.
  s = OpenCodecSound(Model("sounds.mp4", 1), Wide(Media("sounds.mp4")));
  ASSERT_TRUE(s);
  EXPECT_EQ(1, s->Format().channels);
}

TEST(CodecSound, EditsTrimStartLateAndReplay) {
  // Cut mid-packet by ffmpeg's seek: ffmpeg applies the same edit.
  CheckTrack({"aac_trimmed.m4a", 0, true}, Model("aac_trimmed.m4a"),
             OpenCodecSound(Model("aac_trimmed.m4a"), Wide(Media("aac_trimmed.m4a"))));

  // An empty edit first: silence, then the sound as ffmpeg decodes it from
  // its start.
  {
    std::shared_ptr<const MovieModel> model = Model("aac_late.m4a");
    std::unique_ptr<SoundSource> s = OpenCodecSound(model, Wide(Media("aac_late.m4a")));
    ASSERT_TRUE(s);
    const int rate = s->Format().rate;
    const size_t ch = size_t(s->Format().channels);
    ASSERT_FALSE(model->tracks[0].edits.empty());
    const size_t late = size_t(model->tracks[0].edits[0].movieDuration * rate / model->timeScale);
    std::vector<int16_t> got = ReadAll(*s, 10u << 20);
    std::vector<int16_t> want = Reference("aac_late.m4a", 0);
    ASSERT_GT(got.size(), late * ch + want.size() / 2);
    EXPECT_EQ(0, MaxDifference(got, 0, std::vector<int16_t>(late * ch, 0), 0, late * ch)) << "silent before";
    const size_t both = std::min(got.size() - late * ch, want.size());
    EXPECT_LT(RelativeError(got, late * ch, want, 0, both), 0.02);
    // A seek into the silence, and one past it.
    ASSERT_TRUE(s->Seek(0.1));
    std::vector<int16_t> quiet = ReadAll(*s, 1000);
    EXPECT_EQ(0, MaxDifference(quiet, 0, std::vector<int16_t>(1000 * ch, 0), 0, 1000 * ch));
    ASSERT_TRUE(s->Seek(double(late + 5000) / rate));
    std::vector<int16_t> on = ReadAll(*s, 2048);
    EXPECT_LT(RelativeError(on, 0, got, (late + 5000) * ch, 2048 * ch), 0.02);
  }

  // PCM with three edits: 0.2 s of nothing, media 0.5 s to 0.8 s, then
  // 0.1 s to 0.35 s, to the value of the unedited decode.
  {
    std::unique_ptr<SoundSource> s = OpenCodecSound(Model("pcm_edited.mov"), Wide(Media("pcm_edited.mov")));
    ASSERT_TRUE(s);
    ASSERT_EQ(1, s->Format().channels);
    const size_t r = size_t(s->Format().rate);
    std::vector<int16_t> want(r * 2 / 10, 0);
    std::vector<int16_t> base = Reference("pcm_edit_base.mov", 0);
    want.insert(want.end(), base.begin() + ptrdiff_t(r / 2), base.begin() + ptrdiff_t(r * 8 / 10));
    want.insert(want.end(), base.begin() + ptrdiff_t(r / 10), base.begin() + ptrdiff_t(r * 35 / 100));
    std::vector<int16_t> got = ReadAll(*s, 10u << 20);
    ASSERT_EQ(want.size(), got.size());
    EXPECT_EQ(0, MaxDifference(got, 0, want, 0, want.size()));
    // Seeks into each segment land on the frame.
    for (size_t at : {r / 10, r * 3 / 10 + 17, r * 6 / 10 + 3}) {
      ASSERT_TRUE(s->Seek(double(at) / r));
      std::vector<int16_t> part = ReadAll(*s, 1000);
      size_t n = std::min<size_t>(1000, want.size() - at);
      ASSERT_GE(part.size(), n);
      EXPECT_EQ(0, MaxDifference(part, 0, want, at, n)) << at;
    }
    // At the end, and past it.
    EXPECT_TRUE(s->Seek(double(want.size()) / r));
    int16_t buffer[64];
    EXPECT_EQ(0u, s->Read(buffer, 32));
    EXPECT_FALSE(s->Seek(10.0));
    EXPECT_EQ(0u, s->Read(buffer, 32));
    EXPECT_TRUE(s->Seek(0));
    EXPECT_EQ(32u, s->Read(buffer, 32));
  }
}

TEST(CodecSound, WaveFilesOfEveryForm) {
  const char* const files[] = {
      "wave_u8_mono_22050.wav",   "wave_s16_stereo_44100.wav", "wave_s16_mono_48000.wav",
      "wave_s24_stereo_48000.wav", "wave_s32_mono_22050.wav",  "wave_f32_stereo_44100.wav",
      "wave_f64_mono_44100.wav",  "wave_mulaw_stereo_22050.wav", "wave_alaw_mono_48000.wav",
      "wave_f32_stereo_96000.wav", "wave_s16_6ch_44100.wav"};
  for (const char* name : files) {
    std::unique_ptr<SoundSource> s = OpenWaveSound(Wide(Media(name)));
    std::map<std::string, std::string> probe = ReadProbe(Media(std::string(name) + ".probe"));
    ASSERT_TRUE(s) << name;
    const int rate = atoi(probe["streams.stream.0.sample_rate"].c_str());
    const int channels = atoi(probe["streams.stream.0.channels"].c_str());
    EXPECT_EQ(std::min(rate, 48000), s->Format().rate) << name;
    EXPECT_EQ(std::min(channels, 2), s->Format().channels) << name;
    CheckTrack({name, 0, false, rate > 48000}, nullptr, std::move(s));
  }
}

// A file that another program still holds open for writing sounds all the
// same, a movie's track and a WAV file alike.
TEST(CodecSound, SoundsAFileAnotherProgramIsWriting) {
  for (const char* name : {"sounds.mov", "wave_s16_stereo_44100.wav"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> file = Bytes(Media(name));
    const std::string copy = Media(std::string("writing_") + name);
    std::ofstream(copy, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    HANDLE writer = CreateFileW(Wide(copy).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    if (std::string(name) == "sounds.mov") {
      std::shared_ptr<const MovieModel> model = Model(name, 0);
      CheckTrack({name, 0, false}, model, OpenCodecSound(model, Wide(copy)));
    } else {
      CheckTrack({name, 0, false}, nullptr, OpenWaveSound(Wide(copy)));
    }
    CloseHandle(writer);
  }
}

TEST(CodecSound, DamagedAndMissing) {
  // Not a WAV file, not there, no sound track.
  EXPECT_FALSE(OpenWaveSound(Wide(Media("sounds.mov"))));
  EXPECT_FALSE(OpenWaveSound(Wide(Media("no such file.wav"))));
  EXPECT_FALSE(OpenCodecSound(Model("qtrle.mov"), Wide(Media("qtrle.mov"))));
  EXPECT_FALSE(OpenCodecSound(Model("sounds.mov"), Wide(Media("no such file.mov"))));

  // Cut short: sound up to the cut, then silence to the edit's end.
  for (const char* name : {"damaged_cut.mov", "damaged_noise.m4a"}) {
    std::shared_ptr<const MovieModel> model = Model(name, 0);
    ASSERT_TRUE(model) << name;
    std::unique_ptr<SoundSource> s = OpenCodecSound(model, Wide(Media(name)));
    ASSERT_TRUE(s) << name;
    std::vector<int16_t> got = ReadAll(*s, 10u << 20);
    const double seconds = EditSeconds(*model);
    EXPECT_NEAR(seconds * s->Format().rate, double(got.size() / size_t(s->Format().channels)), 1.0) << name;
    EXPECT_TRUE(s->Seek(seconds / 2)) << name;
    int16_t buffer[512];
    EXPECT_GT(s->Read(buffer, 256), 0u) << name;
  }
}
