// The platform-free side of sound: codings and packet layouts from sample
// descriptions, the walk over a track's chunks and samples, edits as
// segments, the sound track of a movie, and WAV headers built byte by byte.
#include <gtest/gtest.h>

#include <string.h>

#include "engine/container/atom_reader.h"
#include "engine/container/sound_packets.h"
#include "engine/container/wave_file.h"

using namespace vmedia;

namespace {

SampleDescription Sound(uint32_t format, uint32_t channels, uint32_t bits, uint32_t version = 0) {
  SampleDescription d;
  d.format = format;
  d.channels = channels;
  d.bitsPerSample = bits;
  d.version = version;
  d.sampleRate = 44100;
  return d;
}

// A track of `samples` one-frame samples (stts delta 1, stsz size 1, as
// QuickTime writes PCM) in chunks of `perChunk`, each chunk 1000 bytes
// after the one before.
Track FrameTrack(uint32_t samples, uint32_t perChunk, const SampleDescription& d) {
  Track t;
  t.kind = TrackKind::Sound;
  t.description = d;
  t.mediaTimeScale = 44100;
  t.sampleCount = samples;
  SampleTable& s = t.samples;
  s.times.push_back({0, samples, 0, 1});
  s.uniformSize = 1;
  s.chunks.push_back({0, perChunk, 0});
  for (uint32_t c = 0; c * perChunk < samples; ++c) s.chunkOffsets.push_back(100 + 1000 * uint64_t(c));
  s.dataEnd = 100 + 1000 * uint64_t(s.chunkOffsets.size());
  s.count = samples;
  return t;
}

std::vector<SoundPacket> Walk(SoundPackets& p, size_t most = 100) {
  std::vector<SoundPacket> out;
  SoundPacket k;
  while (out.size() < most && p.Next(&k)) out.push_back(k);
  return out;
}

}  // namespace

TEST(SoundCoding, EveryQuickTimeFormAndItsLayout) {
  PcmForm pcm;
  EXPECT_EQ(SoundCoding::Pcm, CodingOf(Sound(FourCC("raw "), 1, 8), &pcm));
  EXPECT_FALSE(pcm.isSigned);
  EXPECT_EQ(SoundCoding::Pcm, CodingOf(Sound(FourCC("twos"), 2, 8), &pcm));
  EXPECT_TRUE(pcm.isSigned);
  SampleDescription twos = Sound(FourCC("twos"), 2, 16);
  twos.bigEndian = true;
  EXPECT_EQ(SoundCoding::Pcm, CodingOf(twos, &pcm));
  EXPECT_TRUE(pcm.bigEndian);
  EXPECT_EQ(16u, pcm.bits);
  EXPECT_EQ(4u, LayoutOf(twos, SoundCoding::Pcm, pcm).bytesPerPacket);
  // Version 1 says 16 bits and 2 bytes a sample for 24-bit data; its bytes
  // a frame tell.
  SampleDescription v1 = Sound(FourCC("sowt"), 2, 16, 1);
  v1.samplesPerPacket = 1, v1.bytesPerPacket = 3, v1.bytesPerFrame = 6, v1.bytesPerSample = 2;
  EXPECT_EQ(SoundCoding::Pcm, CodingOf(v1, &pcm));
  EXPECT_EQ(24u, pcm.bits);
  EXPECT_FALSE(pcm.bigEndian);
  EXPECT_EQ(6u, LayoutOf(v1, SoundCoding::Pcm, pcm).bytesPerPacket);
  // Version 2 'lpcm' by its flags and its constant packet.
  SampleDescription v2 = Sound(FourCC("lpcm"), 3, 16, 2);
  v2.channels = 1, v2.bitsPerSample = 32, v2.lpcmFlags = kLpcmFloat | kLpcmBigEndian | kLpcmPacked;
  v2.constBytesPerPacket = 4, v2.constFramesPerPacket = 1;
  EXPECT_EQ(SoundCoding::Pcm, CodingOf(v2, &pcm));
  EXPECT_TRUE(pcm.isFloat && pcm.bigEndian);
  EXPECT_EQ(4u, LayoutOf(v2, SoundCoding::Pcm, pcm).bytesPerPacket);
  v2.bitsPerSample = 12;
  EXPECT_EQ(SoundCoding::None, CodingOf(v2, &pcm)) << "no such PCM";

  // The codings' own packets where the entry leaves them out.
  SampleDescription ima = Sound(FourCC("ima4"), 2, 16, 1);
  ima.samplesPerPacket = 64;  // bytes a frame 0, as ffmpeg writes it
  FrameLayout l = LayoutOf(ima, CodingOf(ima, &pcm), pcm);
  EXPECT_EQ(64u, l.framesPerPacket);
  EXPECT_EQ(68u, l.bytesPerPacket);
  l = LayoutOf(Sound(FourCC("MAC3"), 2, 8), CodingOf(Sound(FourCC("MAC3"), 2, 8), &pcm), pcm);
  EXPECT_EQ(6u, l.framesPerPacket);
  EXPECT_EQ(4u, l.bytesPerPacket);
  l = LayoutOf(Sound(FourCC("MAC6"), 1, 8), CodingOf(Sound(FourCC("MAC6"), 1, 8), &pcm), pcm);
  EXPECT_EQ(1u, l.bytesPerPacket);
  EXPECT_EQ(SoundCoding::MuLaw, CodingOf(Sound(FourCC("ulaw"), 1, 8), &pcm));

  // Varying codings: by the esds object type for 'mp4a'.
  SampleDescription mp4a = Sound(FourCC("mp4a"), 2, 16);
  mp4a.objectType = 0x40;
  EXPECT_EQ(SoundCoding::Aac, CodingOf(mp4a, &pcm));
  EXPECT_FALSE(LayoutOf(mp4a, SoundCoding::Aac, pcm).Constant());
  mp4a.objectType = 0x6B;
  EXPECT_EQ(SoundCoding::Mp3, CodingOf(mp4a, &pcm));
  mp4a.objectType = 0xA5;
  EXPECT_EQ(SoundCoding::Ac3, CodingOf(mp4a, &pcm));
  mp4a.objectType = 0x21;
  EXPECT_EQ(SoundCoding::None, CodingOf(mp4a, &pcm));
  EXPECT_EQ(SoundCoding::Mp3, CodingOf(Sound(FourCC("ms\0U"), 2, 16), &pcm));
  EXPECT_EQ(SoundCoding::None, CodingOf(Sound(FourCC("alac"), 2, 16), &pcm)) << "without its configuration";
  // 3GPP's AMR: packets of whole frames, as the sample table gives them.
  EXPECT_EQ(SoundCoding::AmrNb, CodingOf(Sound(FourCC("samr"), 2, 16), &pcm));
  EXPECT_EQ(SoundCoding::AmrWb, CodingOf(Sound(FourCC("sawb"), 2, 16), &pcm));
  EXPECT_FALSE(LayoutOf(Sound(FourCC("samr"), 2, 16), SoundCoding::AmrNb, pcm).Constant());

  // Damage: no channels, or a packet past the bound.
  EXPECT_FALSE(LayoutOf(Sound(FourCC("twos"), 0, 16), SoundCoding::Pcm, PcmForm{16, false, true, true}).Constant());
  SampleDescription huge = Sound(FourCC("twos"), 2, 16, 2);
  huge.constBytesPerPacket = kMaxSoundPacketBytes + 1, huge.constFramesPerPacket = 1;
  EXPECT_FALSE(LayoutOf(huge, SoundCoding::Pcm, PcmForm{16, false, true, true}).Constant());
}

TEST(SoundPackets, ChunksInSlicesSeeksAndTheFileEnd) {
  // 2 bytes a frame, 300 frames a chunk, 1000 frames.
  SampleDescription d = Sound(FourCC("twos"), 1, 16);
  d.bigEndian = true;
  Track t = FrameTrack(1000, 300, d);
  SoundPackets p(t, FrameLayout{1, 2});
  ASSERT_TRUE(p.byChunk());
  std::vector<SoundPacket> all = Walk(p);
  ASSERT_EQ(4u, all.size()) << "one packet a chunk";
  EXPECT_EQ(100u, all[0].offset);
  EXPECT_EQ(600u, all[0].size) << "the frames' bytes, not stsz's 1 each";
  EXPECT_EQ(1100u, all[1].offset);
  EXPECT_EQ(300, all[1].time);
  EXPECT_EQ(200u, all[3].size) << "the last chunk holds the rest";

  // Into the middle of a chunk, to the frame.
  p.Seek(450, 0);
  SoundPacket k;
  ASSERT_TRUE(p.Next(&k));
  EXPECT_EQ(1100u + 150 * 2, k.offset);
  EXPECT_EQ(450, k.time);
  // IMA-style packets of 64 frames: to the packet's start, a packet earlier
  // with preroll.
  SoundPackets ima(t, FrameLayout{64, 34});
  ima.Seek(450, 0);
  ASSERT_TRUE(ima.Next(&k));
  EXPECT_EQ(300 + 128, k.time);
  ima.Seek(450, 1);
  ASSERT_TRUE(ima.Next(&k));
  EXPECT_EQ(300 + 64, k.time);

  // Large chunks go in slices near kSoundSliceBytes.
  Track big = FrameTrack(200000, 100000, d);
  big.samples.dataEnd = 1u << 30;
  SoundPackets slices(big, FrameLayout{1, 2});
  std::vector<SoundPacket> s = Walk(slices, 1000);
  EXPECT_EQ(2u * ((100000 * 2 + kSoundSliceBytes - 1) / kSoundSliceBytes), s.size());
  for (const SoundPacket& x : s) EXPECT_LE(x.size, kSoundSliceBytes);

  // Chunks past the end of the file are cut to whole packets, then left out.
  t.samples.dataEnd = 1100 + 101;
  SoundPackets cut(t, FrameLayout{1, 2});
  all = Walk(cut);
  ASSERT_EQ(2u, all.size());
  EXPECT_EQ(100u, all[1].size);
}

TEST(SoundPackets, SamplesOneByOneWithPreroll) {
  // AAC-like: 10 samples of 1024 media units and 50 bytes each.
  Track t = FrameTrack(10, 4, Sound(FourCC("mp4a"), 2, 16));
  t.samples.times = {{0, 10, 0, 1024}};
  t.samples.uniformSize = 50;
  SoundPackets p(t, FrameLayout());
  EXPECT_FALSE(p.byChunk());
  std::vector<SoundPacket> all = Walk(p);
  ASSERT_EQ(10u, all.size());
  EXPECT_EQ(100u + 50, all[1].offset);
  EXPECT_EQ(1100u, all[4].offset);
  EXPECT_EQ(1024 * 9, all[9].time);
  p.Seek(5000, 2);  // within sample 4
  SoundPacket k;
  ASSERT_TRUE(p.Next(&k));
  EXPECT_EQ(2048, k.time);
  p.Seek(-5, 2);
  ASSERT_TRUE(p.Next(&k));
  EXPECT_EQ(0, k.time);
  // A PCM track whose samples last more than one unit goes by sample too.
  Track pcm = FrameTrack(10, 4, Sound(FourCC("sowt"), 2, 16));
  pcm.samples.times = {{0, 10, 0, 1024}};
  EXPECT_FALSE(SoundPackets(pcm, FrameLayout{1, 4}).byChunk());
}

TEST(SoundPackets, EditsAsSegmentsAndTheSoundTrack) {
  MovieModel m;
  m.timeScale = 600;
  m.duration = 600;
  Track video;
  video.kind = TrackKind::Video;
  video.sampleCount = 5;
  Track sound = FrameTrack(44100, 4410, Sound(FourCC("twos"), 1, 16));
  Track quiet = sound;
  quiet.enabled = false;
  m.tracks = {video, quiet, sound};
  EXPECT_EQ(2, m.soundTrack()) << "the first enabled one with samples";
  m.tracks[2].sampleCount = 0;
  EXPECT_EQ(-1, m.soundTrack());
  EXPECT_FALSE(m.hasSound());
  m.tracks[2].sampleCount = 44100;

  Track& t = m.tracks[2];
  // Empty, then media 1000, then held (rate 0: silent), then past the movie.
  t.edits = {{60, -1, 0x10000}, {120, 1000, 0x10000}, {30, 500, 0}, {0, 7, 0x10000}, {900, 0, 0x10000}};
  std::vector<SoundSegment> s = SoundSegments(t, m);
  ASSERT_EQ(4u, s.size()) << "the empty edit of no duration is left out";
  EXPECT_EQ(-1, s[0].mediaTime);
  EXPECT_EQ(60, s[1].movieStart);
  EXPECT_EQ(180, s[1].movieEnd);
  EXPECT_EQ(1000, s[1].mediaTime);
  EXPECT_EQ(-1, s[2].mediaTime);
  EXPECT_EQ(600, s[3].movieEnd) << "not past the movie's end";
  // Without edits: the whole track from media 0.
  t.edits.clear();
  t.tkhdDuration = 300;
  s = SoundSegments(t, m);
  ASSERT_EQ(1u, s.size());
  EXPECT_EQ(300, s[0].movieEnd);
  EXPECT_EQ(0, s[0].mediaTime);
}

namespace {

using Bytes = std::vector<uint8_t>;

void Le(Bytes& b, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void Text(Bytes& b, const char* t) { b.insert(b.end(), t, t + 4); }

// A WAVE file: a 'fmt ' chunk of `tag`, channels, rate, block align and
// bits (the extensible form when `sub` is set: its sub-format's tag), an
// odd-sized chunk of another kind, then `data` bytes of data.
Bytes Wave(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t align, uint16_t bits, uint32_t data,
           uint16_t sub = 0, uint32_t dataField = UINT32_MAX - 1) {
  Bytes fmt;
  Le(fmt, tag, 2), Le(fmt, channels, 2), Le(fmt, rate, 4), Le(fmt, rate * align, 4), Le(fmt, align, 2),
      Le(fmt, bits, 2);
  if (sub) {
    Le(fmt, 22, 2), Le(fmt, bits, 2), Le(fmt, 3, 4), Le(fmt, sub, 2);
    static const uint8_t kBase[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    fmt.insert(fmt.end(), kBase, kBase + 14);
  }
  Bytes b;
  Text(b, "RIFF"), Le(b, 0, 4), Text(b, "WAVE");
  Text(b, "fmt "), Le(b, uint32_t(fmt.size()), 4);
  b.insert(b.end(), fmt.begin(), fmt.end());
  Text(b, "LIST"), Le(b, 3, 4), b.insert(b.end(), {1, 2, 3, 0});  // padded
  Text(b, "data"), Le(b, dataField == UINT32_MAX - 1 ? data : dataField, 4);
  b.insert(b.end(), data, 0x55);
  return b;
}

bool Read(const Bytes& b, WaveInfo* w) {
  MemorySource src(b.data(), b.size());
  return ReadWave(src, w);
}

}  // namespace

TEST(WaveFile, FormsAndWhereTheDataIs) {
  WaveInfo w;
  ASSERT_TRUE(Read(Wave(1, 2, 44100, 4, 16, 400), &w));
  EXPECT_EQ(SoundCoding::Pcm, w.coding);
  EXPECT_EQ(16u, w.pcm.bits);
  EXPECT_FALSE(w.pcm.bigEndian);
  EXPECT_EQ(2u, w.channels);
  EXPECT_EQ(44100u, w.rate);
  EXPECT_EQ(12u + 8 + 16 + 8 + 4 + 8, w.dataOffset) << "past the padded odd chunk";
  EXPECT_EQ(100u, w.frames);

  ASSERT_TRUE(Read(Wave(1, 1, 22050, 1, 8, 10), &w));
  EXPECT_FALSE(w.pcm.isSigned) << "8-bit WAV is unsigned";
  ASSERT_TRUE(Read(Wave(3, 2, 48000, 16, 64, 160), &w));
  EXPECT_TRUE(w.pcm.isFloat);
  EXPECT_EQ(10u, w.frames);
  ASSERT_TRUE(Read(Wave(7, 1, 8000, 1, 8, 10), &w));
  EXPECT_EQ(SoundCoding::MuLaw, w.coding);
  ASSERT_TRUE(Read(Wave(6, 2, 8000, 2, 8, 10), &w));
  EXPECT_EQ(SoundCoding::ALaw, w.coding);
  // Extensible: the coding from the sub-format.
  ASSERT_TRUE(Read(Wave(0xFFFE, 6, 48000, 18, 24, 180, 1), &w));
  EXPECT_EQ(24u, w.pcm.bits);
  EXPECT_EQ(6u, w.channels);
  EXPECT_EQ(10u, w.frames);
  ASSERT_TRUE(Read(Wave(0xFFFE, 2, 48000, 8, 32, 80, 3), &w));
  EXPECT_TRUE(w.pcm.isFloat);

  // The data's size as streaming writers leave it, or past the file: what
  // the file holds, in whole frames.
  ASSERT_TRUE(Read(Wave(1, 2, 44100, 4, 16, 402, 0, 0), &w));
  EXPECT_EQ(100u, w.frames);
  ASSERT_TRUE(Read(Wave(1, 2, 44100, 4, 16, 400, 0, 0xFFFFFFFF), &w));
  EXPECT_EQ(100u, w.frames);
  ASSERT_TRUE(Read(Wave(1, 2, 44100, 4, 16, 400, 0, 4000000), &w));
  EXPECT_EQ(100u, w.frames);
}

TEST(WaveFile, RefusedHeaders) {
  WaveInfo w;
  EXPECT_FALSE(Read(Wave(2, 2, 44100, 2048, 4, 400), &w)) << "MS ADPCM is not ours";
  EXPECT_FALSE(Read(Wave(1, 2, 44100, 3, 16, 400), &w)) << "a block that is no frame";
  EXPECT_FALSE(Read(Wave(1, 0, 44100, 4, 16, 400), &w));
  EXPECT_FALSE(Read(Wave(1, 2, 0, 4, 16, 400), &w));
  EXPECT_FALSE(Read(Wave(1, 2, 44100, 6, 12, 400), &w));
  EXPECT_FALSE(Read(Wave(0xFFFE, 2, 44100, 4, 16, 400, 2), &w));
  Bytes b = Wave(1, 2, 44100, 4, 16, 400);
  memcpy(&b[8], "AVI ", 4);
  EXPECT_FALSE(Read(b, &w));
  // Cut inside the format chunk, and a chunk size that leaps past the end.
  b = Wave(1, 2, 44100, 4, 16, 400);
  EXPECT_FALSE(Read(Bytes(b.begin(), b.begin() + 30), &w));
  b[16] = 0xFF, b[17] = 0xFF, b[18] = 0xFF, b[19] = 0x7F;
  EXPECT_FALSE(Read(b, &w));
  EXPECT_EQ(SoundCoding::None, w.coding) << "left empty";
}
