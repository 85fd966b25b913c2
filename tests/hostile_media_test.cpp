// Damaged movies through the plug-in and the media engine: files cut short,
// bits flipped, box sizes past the end of the file, sample counts of 2^31,
// time scales and durations of zero. Each call answers a value or an error
// code, within a few seconds, without the process falling over or its
// memory running away.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_paths.h"
#include "tests/host_rig_fixture.h"
#include "tests/process_counts.h"

#ifndef VANTORO_MEDIA_DIR
#error VANTORO_MEDIA_DIR names the folder of the test media
#endif

namespace {

using Bytes = std::string;

bool ReadFileBytes(const std::string& path, Bytes* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

uint32_t Get32(const Bytes& b, size_t at) {
  return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8 |
         uint8_t(b[at + 3]);
}

void Put32(Bytes& b, size_t at, uint32_t v) {
  if (at + 4 > b.size()) return;
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

void Put16(Bytes& b, size_t at, uint16_t v) {
  if (at + 2 > b.size()) return;
  b[at] = static_cast<char>(v >> 8);
  b[at + 1] = static_cast<char>(v);
}

// A box of the file as found by walking the structure: where it starts, its
// whole size and its type.
struct Box {
  size_t at;
  uint64_t size;
  std::string type;
};

const char* const kContainers[] = {"moov", "trak", "mdia", "minf", "stbl", "edts", "dinf", "mvex"};

void Walk(const Bytes& b, size_t begin, size_t end, std::vector<Box>* boxes) {
  size_t at = begin;
  while (at + 8 <= end) {
    uint64_t size = Get32(b, at);
    if (size == 1 && at + 16 <= end) {
      size = uint64_t(Get32(b, at + 8)) << 32 | Get32(b, at + 12);
    } else if (size == 0) {
      size = end - at;
    }
    if (size < 8 || size > end - at) return;
    Box box{at, size, b.substr(at + 4, 4)};
    boxes->push_back(box);
    for (const char* c : kContainers) {
      if (box.type == c) Walk(b, at + 8, at + static_cast<size_t>(size), boxes);
    }
    at += static_cast<size_t>(size);
  }
}

std::vector<Box> BoxesOf(const Bytes& b, const std::string& type) {
  std::vector<Box> all, found;
  Walk(b, 0, b.size(), &all);
  for (const Box& box : all) {
    if (box.type == type) found.push_back(box);
  }
  return found;
}

struct Variant {
  std::string name;
  Bytes bytes;
};

// The same change at every box of a type; no variant when there is none.
void Patched(const Bytes& original, const std::string& type, const std::string& name,
             const std::function<void(Bytes&, const Box&)>& patch, std::vector<Variant>* out) {
  std::vector<Box> boxes = BoxesOf(original, type);
  if (boxes.empty()) return;
  Bytes b = original;
  for (const Box& box : boxes) patch(b, box);
  out->push_back({name, b});
}

// Offset of a field of a movie or media header: version 1 widens the dates
// and the duration to 64 bits.
size_t HeaderField(const Bytes& b, const Box& box, bool duration) {
  bool wide = b[box.at + 8] == 1;
  size_t scale = box.at + 12 + (wide ? 16 : 8);
  return duration ? scale + 4 : scale;
}

// Samples and chunks larger than any file: sizes near 4 GiB, sizes whose
// sum in a chunk passes 4 GiB, one chunk that holds every sample.
std::vector<Variant> HugeVariantsOf(const Bytes& original) {
  std::vector<Variant> v;
  auto sizes = [](Bytes& b, const Box& box, uint32_t from, uint32_t to, uint32_t size) {
    if (Get32(b, box.at + 12) != 0) return;  // one size for all
    for (uint32_t i = from; i < to && i < Get32(b, box.at + 16); ++i) Put32(b, box.at + 20 + 4 * size_t(i), size);
  };
  Patched(original, "stsz", "stsz every size 0xFFFFFFF0", [&](Bytes& b, const Box& box) {
    sizes(b, box, 0, UINT32_MAX, 0xFFFFFFF0u);
  }, &v);
  Patched(original, "stsz", "stsz 4th size 0xFFFFFFF0", [&](Bytes& b, const Box& box) {
    sizes(b, box, 3, 4, 0xFFFFFFF0u);
  }, &v);
  Patched(original, "stsz", "stsz sizes 5-8 summing past 4 GiB", [&](Bytes& b, const Box& box) {
    sizes(b, box, 4, 8, 0x7FFFFFFFu);
  }, &v);
  Patched(original, "stsc", "stsc one chunk of every sample", [](Bytes& b, const Box& box) {
    Put32(b, box.at + 12, 1);
    Put32(b, box.at + 16, 1);
    Put32(b, box.at + 20, 0xFFFFFFFFu);
  }, &v);
  return v;
}

std::vector<Variant> VariantsOf(const Bytes& original) {
  std::vector<Variant> v;
  const uint32_t kHuge = 0x80000000u, kAll = 0xFFFFFFFFu;
  v.push_back({"empty", ""});
  v.push_back({"1 byte", original.substr(0, 1)});
  v.push_back({"first box header only", original.substr(0, 8)});
  std::vector<Box> moov = BoxesOf(original, "moov"), mdat = BoxesOf(original, "mdat");
  if (!moov.empty()) {
    v.push_back({"cut inside moov", original.substr(0, moov[0].at + moov[0].size / 2)});
    v.push_back({"cut after moov header", original.substr(0, moov[0].at + 12)});
  }
  if (!mdat.empty()) v.push_back({"cut inside mdat", original.substr(0, mdat[0].at + mdat[0].size / 2)});

  // Box sizes that do not fit.
  Patched(original, "moov", "moov size past the end", [](Bytes& b, const Box& box) {
    Put32(b, box.at, static_cast<uint32_t>(b.size() - box.at + 4096));
  }, &v);
  Patched(original, "moov", "moov size 0xFFFFFFF0", [](Bytes& b, const Box& box) { Put32(b, box.at, 0xFFFFFFF0u); }, &v);
  Patched(original, "mdat", "mdat size past the end", [](Bytes& b, const Box& box) {
    Put32(b, box.at, static_cast<uint32_t>(b.size() - box.at + 1000000));
  }, &v);
  Patched(original, "mdat", "mdat size 1 (64-bit size from data)", [](Bytes& b, const Box& box) { Put32(b, box.at, 1); }, &v);
  Patched(original, "trak", "trak size 4", [](Bytes& b, const Box& box) { Put32(b, box.at, 4); }, &v);
  Patched(original, "trak", "trak size 0 (to the end)", [](Bytes& b, const Box& box) { Put32(b, box.at, 0); }, &v);
  Patched(original, "stbl", "stbl size past the end", [](Bytes& b, const Box& box) { Put32(b, box.at, kAll); }, &v);
  Patched(original, "stsd", "stsd size past its parent", [](Bytes& b, const Box& box) {
    Put32(b, box.at, static_cast<uint32_t>(box.size + 64));
  }, &v);

  // Counts of 2^31 and 2^32 - 1.
  Patched(original, "stsz", "stsz count 2^31", [=](Bytes& b, const Box& box) { Put32(b, box.at + 16, kHuge); }, &v);
  Patched(original, "stsz", "stsz count 0xFFFFFFFF", [=](Bytes& b, const Box& box) { Put32(b, box.at + 16, kAll); }, &v);
  Patched(original, "stsz", "stsz constant size, count 2^31", [=](Bytes& b, const Box& box) {
    Put32(b, box.at + 12, 1);
    Put32(b, box.at + 16, kHuge);
  }, &v);
  Patched(original, "stts", "stts entries 2^31", [=](Bytes& b, const Box& box) { Put32(b, box.at + 12, kHuge); }, &v);
  Patched(original, "stts", "stts entries 0xFFFFFFFF", [=](Bytes& b, const Box& box) { Put32(b, box.at + 12, kAll); }, &v);
  Patched(original, "stts", "stts first run of 2^31 samples", [=](Bytes& b, const Box& box) {
    Put32(b, box.at + 16, kHuge);
  }, &v);
  Patched(original, "stts", "stts delta 0", [](Bytes& b, const Box& box) {
    for (size_t e = box.at + 16; e + 8 <= box.at + box.size; e += 8) Put32(b, e + 4, 0);
  }, &v);
  Patched(original, "stts", "stts delta 0xFFFFFFFF", [=](Bytes& b, const Box& box) { Put32(b, box.at + 20, kAll); }, &v);
  Patched(original, "stsc", "stsc entries 0xFFFFFFFF", [=](Bytes& b, const Box& box) { Put32(b, box.at + 12, kAll); }, &v);
  Patched(original, "stsc", "stsc samples per chunk 2^31", [=](Bytes& b, const Box& box) {
    Put32(b, box.at + 20, kHuge);
  }, &v);
  Patched(original, "stco", "stco entries 0xFFFFFFFF", [=](Bytes& b, const Box& box) { Put32(b, box.at + 12, kAll); }, &v);
  Patched(original, "stco", "stco offsets past the end", [](Bytes& b, const Box& box) {
    for (size_t e = box.at + 16; e + 4 <= box.at + box.size; e += 4) Put32(b, e, 0xFFFFFF00u);
  }, &v);
  Patched(original, "elst", "elst entries 0xFFFFFFFF", [=](Bytes& b, const Box& box) { Put32(b, box.at + 12, kAll); }, &v);
  Patched(original, "stss", "stss entries 2^31", [=](Bytes& b, const Box& box) { Put32(b, box.at + 12, kHuge); }, &v);
  for (Variant& huge : HugeVariantsOf(original)) v.push_back(std::move(huge));

  // Time scales and durations.
  Patched(original, "mvhd", "mvhd time scale 0", [](Bytes& b, const Box& box) {
    Put32(b, HeaderField(b, box, false), 0);
  }, &v);
  Patched(original, "mdhd", "mdhd time scale 0", [](Bytes& b, const Box& box) {
    Put32(b, HeaderField(b, box, false), 0);
  }, &v);
  Patched(original, "mvhd", "mvhd duration 0", [](Bytes& b, const Box& box) {
    Put32(b, HeaderField(b, box, true), 0);
  }, &v);
  Patched(original, "mdhd", "mdhd duration 0", [](Bytes& b, const Box& box) {
    Put32(b, HeaderField(b, box, true), 0);
  }, &v);
  Patched(original, "mvhd", "mvhd duration 0xFFFFFFFF", [](Bytes& b, const Box& box) {
    Put32(b, HeaderField(b, box, true), 0xFFFFFFFFu);
  }, &v);
  Patched(original, "mvhd", "mvhd time scale 0xFFFFFFFF", [](Bytes& b, const Box& box) {
    Put32(b, HeaderField(b, box, false), 0xFFFFFFFFu);
  }, &v);

  // The picture size in the sample description.
  Patched(original, "stsd", "stsd picture 65535x65535", [](Bytes& b, const Box& box) {
    Put16(b, box.at + 16 + 32, 0xFFFF);
    Put16(b, box.at + 16 + 34, 0xFFFF);
  }, &v);
  Patched(original, "stsd", "stsd picture 0x0", [](Bytes& b, const Box& box) {
    Put16(b, box.at + 16 + 32, 0);
    Put16(b, box.at + 16 + 34, 0);
  }, &v);

  // Flipped bits, from a fixed seed: anywhere in the file, and only in the
  // movie's tables.
  uint32_t seed = 0x9E3779B9u ^ static_cast<uint32_t>(original.size());
  auto next = [&seed] {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return seed;
  };
  for (int k = 0; k < 6 && !original.empty(); ++k) {
    bool inMoov = k >= 3 && !moov.empty();
    size_t from = inMoov ? moov[0].at : 0;
    size_t span = inMoov ? static_cast<size_t>(moov[0].size) : original.size();
    Bytes b = original;
    for (int i = 0; i < 24; ++i) b[from + next() % span] ^= static_cast<char>(1u << (next() % 8));
    v.push_back({std::string(inMoov ? "bits flipped in moov #" : "bits flipped #") + std::to_string(k % 3 + 1), b});
  }
  return v;
}

// Wine's GStreamer parser at times never finishes opening damaged files
// that the engine's own parser accepts (seen with stts delta 0, stco offsets
// past the end, a constant-size stsz of 2^31 samples; not every run). The
// engine's decoder thread then never returns: Play waits out its preroll
// (74003 after about 10 s) and disposing of the movie lets the thread go
// after 2 s. After that the media layer opens nothing more in the process
// without waiting out its own time limits, which would make this test take
// minutes; so Play is asked only of the files the engine's parser refuses,
// which never reach the media layer.
bool AskPlay(const std::string& duration) {
  return duration.size() == 5 && duration.find_first_not_of("0123456789") == std::string::npos;
}

// The call under way, for the watchdog and the crash report.
struct Current {
  CRITICAL_SECTION lock;
  std::string what;
  DWORD since = 0;
  bool busy = false;
};
Current current;

void Begin(const std::string& what) {
  EnterCriticalSection(&current.lock);
  current.what = what;
  current.since = GetTickCount();
  current.busy = true;
  LeaveCriticalSection(&current.lock);
}

void End() {
  EnterCriticalSection(&current.lock);
  current.busy = false;
  LeaveCriticalSection(&current.lock);
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* e) {
  fprintf(stderr, "crash (exception 0x%08lX) during %s\n", e->ExceptionRecord->ExceptionCode, current.what.c_str());
  fflush(stderr);
  return EXCEPTION_CONTINUE_SEARCH;
}

// A call that does not come back is a hang: name it and end the run. The
// engine's own time limits are a few seconds; this is only a backstop, and
// generous, since an emulated machine under load is many times slower.
constexpr unsigned long kHangMs = 90000;

DWORD WINAPI Watchdog(void*) {
  for (;;) {
    Sleep(500);
    EnterCriticalSection(&current.lock);
    bool hung = current.busy && GetTickCount() - current.since > kHangMs;
    std::string what = current.what;
    LeaveCriticalSection(&current.lock);
    if (hung) {
      fprintf(stderr, "hang: %s has not returned after %lu s\n", what.c_str(), kHangMs / 1000);
      fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 3);
    }
  }
}

class HostileMedia : public rig::HostRigTest {
 protected:
  void SetUp() override {
    // One watchdog for the whole run.
    static bool watching = false;
    if (!watching) {
      InitializeCriticalSection(&current.lock);
      SetUnhandledExceptionFilter(ReportCrash);
      CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
      watching = true;
    }
    HostRigTest::SetUp();
    dir = Folder() + "variants\\";
    CreateDirectoryA(dir.c_str(), nullptr);
  }

  // One call, under the watchdog's eye.
  std::string Watched(const std::string& variant, const std::string& name, const std::string& args) {
    Begin(variant + ": " + name);
    std::string answer = Call(name, args);
    End();
    return answer;
  }

  std::string dir;
};

// An answer is a value or a five-digit error code; which one depends on
// how much of the damage the engine can read past.
bool ErrorCode(const std::string& answer) {
  return answer.size() == 5 && answer.find_first_not_of("0123456789") == std::string::npos;
}

std::string Short(const std::string& answer) { return answer.empty() ? "ok" : answer; }

TEST_F(HostileMedia, DamagedMoviesAnswerOrFailCleanly) {
  const char* const movies[] = {"h264_aac.mp4", "mjpeg_pcm.mov", "sound.m4a", "mobile.3gp", "delayed.mov"};
  std::string media = VANTORO_MEDIA_DIR;
  Bytes probe;
  if (!ReadFileBytes(media + "/stamp", &probe)) GTEST_SKIP() << "no test media (ffmpeg missing?)";

  // Warm up with an intact movie, so the first reading has the engine's
  // start-up in it.
  std::string intact = media + "\\h264_aac.mp4";
  for (char& c : intact) {
    if (c == '/') c = '\\';
  }
  ASSERT_EQ(Call("Vantoro-Play", intact), "");
  windows.Pump(100);
  Call("Vantoro-GetVideoFrame");
  Call("Vantoro-Stop");
  // And with a file our own readers refuse, which Media Foundation (started
  // at its first use, with threads of its own for the process) is asked.
  std::string notMovie = dir + "not-a-movie.bin";
  {
    std::ofstream out(notMovie, std::ios::binary);
    out << "neither a movie nor a sound";
  }
  Call("Vantoro-GetDuration", notMovie);
  DeleteFileA(notMovie.c_str());
  soak::ProcessCounts base = soak::ReadProcessCounts();
  int64_t highestPrivate = base.privateBytes;
  std::string highestAt = "start";

  int variants = 0, played = 0, refused = 0, notAsked = 0;
  DWORD started = GetTickCount();
  std::ostringstream table;
  for (const char* movie : movies) {
    Bytes original;
    ASSERT_TRUE(ReadFileBytes(media + "/" + movie, &original)) << movie;
    std::string stem = movie;
    std::string ext = stem.substr(stem.rfind('.'));
    stem.resize(stem.rfind('.'));
    std::vector<Variant> list = VariantsOf(original);
    for (size_t k = 0; k < list.size(); ++k) {
      const Variant& variant = list[k];
      std::string label = std::string(movie) + " / " + variant.name;

      std::string path = dir + stem + "-" + std::to_string(k) + ext;
      {
        std::ofstream out(path, std::ios::binary);
        out.write(variant.bytes.data(), static_cast<std::streamsize>(variant.bytes.size()));
      }
            std::string duration = Watched(label, "Vantoro-GetDuration", path);
      std::string size = Watched(label, "Vantoro-GetVideoSize", path);
      bool ask = AskPlay(duration);
      std::string play = ask ? Watched(label, "Vantoro-Play", path) : "-";
      std::string frame = "-", stop = "-";
      if (!ask) {
        ++notAsked;
      } else if (play.empty()) {
        ++played;
        Begin(label + ": pumping messages");
        windows.Pump(120);
        End();
        frame = Watched(label, "Vantoro-GetVideoFrame", "");
        stop = Watched(label, "Vantoro-Stop", "");
        EXPECT_TRUE(frame.empty() || ErrorCode(frame)) << label << ": GetVideoFrame answered " << frame;
        EXPECT_EQ(stop, "") << label;
      } else {
        ++refused;
        EXPECT_TRUE(ErrorCode(play)) << label << ": Play answered " << play;
      }
      EXPECT_FALSE(Subclassed()) << label << ": the window's procedure was not given back";
      EXPECT_TRUE(ErrorCode(duration) || (duration.size() >= 11 && duration[2] == ':'))
          << label << ": GetDuration answered " << duration;
      EXPECT_TRUE(ErrorCode(size) || size.find(',') != std::string::npos) << label << ": GetVideoSize answered " << size;
      DeleteFileA(path.c_str());
      ++variants;

      soak::ProcessCounts now = soak::ReadProcessCounts();
      if (now.privateBytes > highestPrivate) {
        highestPrivate = now.privateBytes;
        highestAt = label;
      }
      char line[256];
      snprintf(line, sizeof line, "%-52s %-12s %-10s %-6s %-6s %s\n", label.c_str(), duration.c_str(),
               size.c_str(), Short(play).c_str(), Short(frame).c_str(), Short(stop).c_str());
      table << line;
    }
  }
  soak::ProcessCounts last = soak::ReadProcessCounts();
  printf("%-52s %-12s %-10s %-6s %-6s %s\n", "variant", "duration", "size", "play", "frame", "stop");
  printf("%s", table.str().c_str());
  printf("%d variants in %.1f s: %d played, %d refused by Play, %d not asked to Play\n", variants,
         (GetTickCount() - started) / 1000.0, played, refused, notAsked);
  printf("private memory %s, highest %.1f MB after %s; peak working set %.1f MB; handles %s; threads %s\n",
         soak::ChangeBytes(base.privateBytes, last.privateBytes).c_str(), highestPrivate / 1048576.0, highestAt.c_str(),
         last.peakWorkingSet / 1048576.0, soak::Change(base.handles, last.handles).c_str(),
         soak::Change(base.threads, last.threads).c_str());
  EXPECT_LE(highestPrivate - base.privateBytes, int64_t(256) << 20) << "after " << highestAt;
  EXPECT_LE(last.privateBytes - base.privateBytes, int64_t(32) << 20);
  EXPECT_LE(last.handles - base.handles, 20);
  EXPECT_LE(last.threads - base.threads, 2);
  RemoveDirectoryA(dir.c_str());
}

// The huge variants of a movie whose pictures and sound the engine's own
// codecs decode, played: Play answers at once, with nothing to decode an
// error code, and the samples that cannot be read are left out.
TEST_F(HostileMedia, HugeSamplesAndChunksPlayOrAnswerAnError) {
  std::string media = VANTORO_MEDIA_DIR;
  Bytes original;
  if (!ReadFileBytes(media + "/huge_base.mp4", &original)) GTEST_SKIP() << "no test media (ffmpeg missing?)";
  soak::ProcessCounts base = soak::ReadProcessCounts();
  std::vector<Variant> variants = HugeVariantsOf(original);
  ASSERT_EQ(variants.size(), 4u);
  for (size_t k = 0; k < variants.size(); ++k) {
    const Variant& variant = variants[k];
    std::string path = dir + "huge-" + std::to_string(k) + ".mp4";
    {
      std::ofstream out(path, std::ios::binary);
      out.write(variant.bytes.data(), static_cast<std::streamsize>(variant.bytes.size()));
    }
    std::string play = Watched(variant.name, "Vantoro-Play", path);
    if (play.empty()) {
      Begin(variant.name + ": pumping messages");
      windows.Pump(200);
      End();
      std::string frame = Watched(variant.name, "Vantoro-GetVideoFrame", "");
      EXPECT_TRUE(frame.empty() || ErrorCode(frame)) << variant.name << ": GetVideoFrame answered " << frame;
      EXPECT_EQ(Watched(variant.name, "Vantoro-Stop", ""), "") << variant.name;
    } else {
      EXPECT_TRUE(ErrorCode(play)) << variant.name << ": Play answered " << play;
    }
    if (variant.name == "stsz every size 0xFFFFFFF0") {
      EXPECT_EQ(play, "74003") << "no sample can be read";
    }
    if (variant.name == "stsz 4th size 0xFFFFFFF0") {
      EXPECT_EQ(play, "") << "the samples before it play";
    }
    EXPECT_FALSE(Subclassed()) << variant.name;
    DeleteFileA(path.c_str());
  }
  soak::ProcessCounts last = soak::ReadProcessCounts();
  EXPECT_LE(last.handles - base.handles, 20);
  EXPECT_LE(last.threads - base.threads, 2);
}

}  // namespace
