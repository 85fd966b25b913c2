// The engine's own picture decoding (OpenCodecFrames) of AV1, which only
// dav1d inside avcodec decodes: were it missing, the engine would quietly
// hand the movie to Media Foundation. Each picture is compared with
// ffmpeg's decode of the same frame (tests/media/make_media.sh writes it
// beside the movie as NAME.bgra, every frame in order).
#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/video/codec_frames.h"
#include "engine/video/picture_scaler.h"
#include "engine/container/atom_reader.h"
#include "engine/container/movie_file.h"
#include "process_counts.h"

using namespace vmedia;

namespace {

std::string Media(const std::string& name) { return std::string(VANTORO_MEDIA_DIR) + "/" + name; }

std::vector<uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Movie {
  std::shared_ptr<const MovieModel> model;
  std::shared_ptr<const std::vector<uint32_t>> samples;
  FrameRequest shape;
  const Track* video = nullptr;
};

Movie Open(const std::string& name) {
  Movie m;
  std::vector<uint8_t> file = Bytes(Media(name));
  MemorySource src(file.data(), file.size());
  auto model = std::make_shared<MovieModel>();
  if (ParseMovie(src, model.get()) != ParseStatus::Ok || model->videoTrack() < 0) return m;
  m.video = &model->tracks[size_t(model->videoTrack())];
  auto samples = std::make_shared<std::vector<uint32_t>>();
  VideoSamples(*model, &m.shape.times, samples.get());
  std::string path = Media(name);
  m.shape.path.assign(path.begin(), path.end());
  m.shape.scale = int32_t(model->timeScale);
  m.shape.width = m.video->description.width;
  m.shape.height = m.video->description.height;
  m.model = model;
  m.samples = samples;
  return m;
}

// Mean difference per colour byte from ffmpeg's frame `n`; -1 when the
// sizes differ or there is no such frame.
double Difference(const Frame& f, const std::vector<uint8_t>& reference, int n) {
  const size_t size = size_t(f.width) * f.height * 4;
  if (!f.pixels || f.pixels->size() != size || reference.size() < (size_t(n) + 1) * size) return -1;
  const uint8_t* want = reference.data() + size_t(n) * size;
  const uint8_t* got = f.pixels->data();
  long sum = 0;
  for (size_t i = 0; i < size; i += 4)
    for (size_t c = 0; c < 3; ++c) sum += abs(int(want[i + c]) - int(got[i + c]));
  return double(sum) / double(size / 4 * 3);
}

// Each picture must be closest to its own frame of ffmpeg's, and all but equal to it.
void ExpectFrame(const Frame& f, const std::vector<uint8_t>& reference, int frames, int n) {
  ASSERT_EQ(f.index, n);
  double own = Difference(f, reference, n);
  ASSERT_GE(own, 0) << "frame " << n << " is " << f.width << "x" << f.height;
  EXPECT_LT(own, 1.0) << "frame " << n;  // the same decoder and scaler as ffmpeg: rounding at most
  for (int other = 0; other < frames; ++other) {
    if (other != n) {
      EXPECT_LT(own, Difference(f, reference, other)) << "frame " << n << " looks like " << other;
    }
  }
}

// From the first frame on, each in turn.
void ExpectEveryFrame(FrameReader& reader, const std::vector<uint8_t>& reference, int frames) {
  Frame f;
  bool end = false;
  ASSERT_TRUE(reader.Seek(0, &f, &end));
  ExpectFrame(f, reference, frames, 0);
  for (int n = 1; n < frames; ++n) {
    ASSERT_TRUE(reader.Next(&f, &end)) << "frame " << n;
    ExpectFrame(f, reference, frames, n);
  }
}

// 8-bit RGB 4:4:4 (what libaom makes of ffmpeg's test pattern) and 10-bit
// 4:2:0 (camera and HDR files).
TEST(CodecFrames, Av1DecodesEveryFrameThroughOurOwnLibraries) {
  for (const char* name : {"av1.mp4", "av1_10bit.mp4"}) {
    SCOPED_TRACE(name);
    Movie m = Open(name);
    ASSERT_TRUE(m.video);
    ASSERT_EQ(m.video->description.format, FourCC("av01"));
    ASSERT_TRUE(CodecDecodes(*m.video)) << "no AV1 decoder in the codec libraries: Media Foundation would take it";
    std::vector<uint8_t> reference = Bytes(Media(std::string(name) + ".bgra"));
    const int frames = int(m.shape.times.size());
    ASSERT_EQ(reference.size(), size_t(frames) * m.shape.width * m.shape.height * 4);

    soak::ProcessCounts before = soak::ReadProcessCounts();
    std::unique_ptr<FrameReader> reader = OpenCodecFrames(m.shape, m.model, m.samples);
    ASSERT_TRUE(reader);
    ExpectEveryFrame(*reader, reference, frames);
    // dav1d starts threads of its own: two, not one per core of the machine.
    EXPECT_LE(soak::ReadProcessCounts().threads - before.threads, 2);
    Frame f;
    bool end = false;
    EXPECT_FALSE(reader->Next(&f, &end));
    EXPECT_TRUE(end);

    // After the end, back into the stream and on from there.
    ASSERT_TRUE(reader->Seek(frames - 2, &f, &end));
    ExpectFrame(f, reference, frames, frames - 2);
    ASSERT_TRUE(reader->Next(&f, &end));
    ExpectFrame(f, reference, frames, frames - 1);
    ASSERT_TRUE(reader->Seek(1, &f, &end));
    ExpectFrame(f, reference, frames, 1);
  }
}

// Motion JPEG B, which only our own codecs decode: every frame, and a seek
// back into the movie.
TEST(CodecFrames, MotionJpegBDecodesEveryFrameThroughOurOwnLibraries) {
  Movie m = Open("mjpegb.mov");
  ASSERT_TRUE(m.video);
  ASSERT_EQ(m.video->description.format, FourCC("mjpb"));
  ASSERT_TRUE(CodecDecodes(*m.video));
  std::vector<uint8_t> reference = Bytes(Media("mjpegb.mov.bgra"));
  const int frames = int(m.shape.times.size());
  ASSERT_EQ(frames, 10);
  ASSERT_EQ(reference.size(), size_t(frames) * m.shape.width * m.shape.height * 4);
  std::unique_ptr<FrameReader> reader = OpenCodecFrames(m.shape, m.model, m.samples);
  ASSERT_TRUE(reader);
  ExpectEveryFrame(*reader, reference, frames);
  Frame f;
  bool end = false;
  ASSERT_TRUE(reader->Seek(3, &f, &end));
  ExpectFrame(f, reference, frames, 3);
}

// A file that another program still holds open for writing (a capture
// under way, a copy not yet closed) decodes all the same.
TEST(CodecFrames, DecodesAFileAnotherProgramIsWriting) {
  Movie m = Open("mjpegb.mov");
  ASSERT_TRUE(m.video);
  const std::vector<uint8_t> file = Bytes(Media("mjpegb.mov"));
  const std::string copy = Media("mjpegb_writing.mov");
  std::ofstream(copy, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  const std::wstring wide(copy.begin(), copy.end());
  HANDLE writer = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  m.shape.path = wide;
  std::unique_ptr<FrameReader> reader = OpenCodecFrames(m.shape, m.model, m.samples);
  EXPECT_TRUE(reader);
  if (reader) ExpectEveryFrame(*reader, Bytes(Media("mjpegb.mov.bgra")), int(m.shape.times.size()));
  reader.reset();
  CloseHandle(writer);
}

// A sample of noise in the middle is left out: the movie goes on to its
// last frame rather than stopping there.
TEST(CodecFrames, Av1GoesOnPastADamagedSample) {
  Movie m = Open("av1.mp4");
  ASSERT_TRUE(m.video);
  const int frames = int(m.shape.times.size());
  std::vector<uint8_t> file = Bytes(Media("av1.mp4"));
  SampleRef ref;
  ASSERT_TRUE(SampleAt(*m.video, 2, &ref));
  uint32_t noise = 7;
  for (uint32_t i = 0; i < ref.size; ++i)
    file[size_t(ref.offset) + i] = uint8_t((noise = noise * 1103515245 + 12345) >> 16);
  std::string damaged = Media("av1_damaged.mp4");
  std::ofstream(damaged, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  m.shape.path.assign(damaged.begin(), damaged.end());
  std::unique_ptr<FrameReader> reader = OpenCodecFrames(m.shape, m.model, m.samples);
  ASSERT_TRUE(reader);
  Frame f;
  bool end = false;
  int last = -1;
  for (bool ok = reader->Seek(0, &f, &end); ok; ok = reader->Next(&f, &end)) last = f.index;
  EXPECT_TRUE(end);
  EXPECT_EQ(last, frames - 1);
}

// A picture handed over as decoders do: rows padded to 64 bytes, planes a
// few rows taller than the picture; one grey level in the luma, neutral
// chroma.
struct DecodedPicture {
  AVFrame* frame = nullptr;
  std::vector<std::vector<uint8_t>> planes;
};

DecodedPicture Decoded(const CodecLibrary* lib, AVPixelFormat format, int w, int h, uint16_t level) {
  DecodedPicture d;
  d.frame = lib->av_frame_alloc();
  d.frame->width = w;
  d.frame->height = h;
  d.frame->format = format;
  const bool wide = format == AV_PIX_FMT_YUV420P10LE;
  const int unit = wide ? 2 : 1;
  const int chromaW = format == AV_PIX_FMT_YUV444P ? w : (w + 1) / 2;
  const int chromaH = format == AV_PIX_FMT_YUV444P ? h : (h + 1) / 2;
  const int planes = format == AV_PIX_FMT_NV12 ? 2 : 3;
  for (int p = 0; p < planes; ++p) {
    const int pw = p == 0 ? w : format == AV_PIX_FMT_NV12 ? chromaW * 2 : chromaW;
    const int ph = p == 0 ? h : chromaH;
    const int linesize = (pw * unit + 63) / 64 * 64;
    const uint16_t value = p == 0 ? level : uint16_t(wide ? 512 : 128);
    d.planes.emplace_back(size_t(linesize) * (ph + 4) + 64);
    std::vector<uint8_t>& b = d.planes.back();
    for (size_t i = 0; i + 1 < b.size(); i += unit) {
      if (wide) {
        b[i] = uint8_t(value);
        b[i + 1] = uint8_t(value >> 8);
      } else {
        b[i] = uint8_t(value);
      }
    }
    d.frame->data[p] = b.data() + (64 - uintptr_t(b.data()) % 64) % 64;
    d.frame->linesize[p] = linesize;
  }
  return d;
}

std::string Dump(const uint8_t* out, int w, int h, size_t pitch) {
  std::string s;
  for (int y = 0; y < h && y < 4; ++y) {
    s += "\n";
    for (int x = 0; x < w && x < 8; ++x) {
      char b[24];
      snprintf(b, sizeof b, " %d/%d/%d/%d", out[y * pitch + x * 4], out[y * pitch + x * 4 + 1], out[y * pitch + x * 4 + 2], out[y * pitch + x * 4 + 3]);
      s += b;
    }
  }
  return s;
}

// Every width from 1 to 400 at small and odd heights, in the pixel formats
// the codecs hand over, through the engine's scaler into exactly
// ScaledBytes with an inaccessible page right after them: a write past the
// rows faults. Every pixel of each row is converted, the last ones too.
TEST(PictureScaler, EveryWidthStaysInItsRows) {
  const CodecLibrary* lib = Codecs();
  ASSERT_TRUE(lib);
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const size_t page = system.dwPageSize;
  PictureScaler scaler(lib);
  for (AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_YUV444P, AV_PIX_FMT_NV12}) {
    for (int w = 1; w <= 400; ++w) {
      for (int h : {1, 2, 3, 17}) {
        SCOPED_TRACE(std::to_string(int(format)) + ": " + std::to_string(w) + "x" + std::to_string(h));
        const uint16_t level = format == AV_PIX_FMT_YUV420P10LE ? 700 : 175;
        DecodedPicture picture = Decoded(lib, format, w, h, level);
        const size_t bytes = ScaledBytes(w, h), span = (bytes + page - 1) / page * page;
        uint8_t* block = static_cast<uint8_t*>(VirtualAlloc(nullptr, span + page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        ASSERT_TRUE(block);
        DWORD old;
        ASSERT_TRUE(VirtualProtect(block + span, page, PAGE_NOACCESS, &old));
        uint8_t* out = block + span - bytes;
        memset(out, 0xCD, bytes);
        bool ok = scaler.Scale(picture.frame, out);
        // The grey of level 175, give or take the scaler's rounding; the
        // buffer was filled with 205 before.
        const size_t pitch = ScaledPitch(w);
        bool grey = true;
        for (int y = 0; y < h && grey; ++y)
          for (int x = 0; x < w && grey; ++x)
            for (int c = 0; c < 3; ++c) grey = grey && abs(out[y * pitch + size_t(x) * 4 + c] - 185) <= 4;
        const std::string dump = grey ? "" : Dump(out, w, h, pitch);
        VirtualFree(block, 0, MEM_RELEASE);
        lib->av_frame_free(&picture.frame);
        ASSERT_TRUE(ok);
        ASSERT_TRUE(grey) << "not every pixel was converted:" << dump;
      }
    }
  }
}

}  // namespace
