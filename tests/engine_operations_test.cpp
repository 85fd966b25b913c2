// VantoroMedia.dll through its dispatcher: exports, paths and files, movie
// models of the formats, bad files, handles, pictures and the exporter.
#include <gtest/gtest.h>

#include <string.h>

#include <cmath>

#include "tests/engine_harness.h"

using namespace enginetest;

namespace {

struct MovieFacts {
  TimeScale scale;
  TimeValue duration;
  Rect box;
  uint32_t samples;  // the plug-in's video sample walk
};

MovieFacts Facts(Movie m) {
  MovieFacts f{};
  f.scale = static_cast<TimeScale>(Op(kSel_GetMovieTimeScale, m));
  f.duration = static_cast<TimeValue>(Op(kSel_GetMovieDuration, m));
  Op(kSel_GetMovieBox, m, &f.box);
  OSType vide = VideoMediaType;
  TimeValue t = 0, next = 0, length = 0;
  int16_t flags = nextTimeMediaSample | nextTimeEdgeOK;
  for (;;) {
    Op(kSel_GetMovieNextInterestingTime, m, flags, 1, &vide, t, 0, &next, &length);
    if (next < 0 || f.samples > 100000) break;
    ++f.samples;
    t = next;
    flags = nextTimeMediaSample;
  }
  return f;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD put = 0;
  WriteFile(f, bytes.data(), DWORD(bytes.size()), &put, nullptr);
  CloseHandle(f);
}

}  // namespace

TEST(EngineExports, DispatcherAndComponentEntriesExist) {
  ASSERT_NE(Engine(), nullptr);
  EXPECT_NE(GetProcAddress(Engine(), "theQuickTimeDispatcher"), nullptr);
  EXPECT_NE(GetProcAddress(Engine(), "_CallComponent"), nullptr);
  EXPECT_NE(GetProcAddress(Engine(), "_CallComponentFunctionWithStorage"), nullptr);
}

TEST(EnginePaths, MissingPathsFailAndExistingOnesOpen) {
  FSSpec spec;
  EXPECT_NE(St(Op(kSel_NativePathNameToFSSpec, "engine-media\\no-such-file.mp4", &spec, 0)), 0);
  EXPECT_NE(St(Op(kSel_NativePathNameToFSSpec, "", &spec, 0)), 0);
  EXPECT_NE(St(Op(kSel_NativePathNameToFSSpec, "engine-media", &spec, 0)), 0);  // a folder
  EXPECT_NE(St(Op(kSel_NativePathNameToFSSpec, (const char*)nullptr, &spec, 0)), 0);

  ASSERT_EQ(St(Op(kSel_NativePathNameToFSSpec, MediaPath("clip.mp4").c_str(), &spec, 0)), 0);
  int16_t ref = 0;
  ASSERT_EQ(St(Op(kSel_OpenMovieFile, &spec, &ref, 1)), 0);
  EXPECT_NE(ref, 0);
  EXPECT_EQ(St(Op(kSel_CloseMovieFile, ref)), 0);
  EXPECT_NE(St(Op(kSel_CloseMovieFile, ref)), 0);  // already closed
  EXPECT_NE(St(Op(kSel_OpenMovieFile, &spec, &ref, 3)), 0);  // no writing

  FSSpec forged = {};
  EXPECT_NE(St(Op(kSel_OpenMovieFile, &forged, &ref, 1)), 0);
}

TEST(EnginePaths, TableOfPathsIsBoundedAndOldTokensExpire) {
  FSSpec first, last;
  ASSERT_EQ(St(Op(kSel_NativePathNameToFSSpec, MediaPath("tone.wav").c_str(), &first, 0)), 0);
  for (int i = 0; i < 1100; ++i) Op(kSel_NativePathNameToFSSpec, MediaPath("tone.wav").c_str(), &last, 0);
  int16_t ref = 0;
  EXPECT_NE(St(Op(kSel_OpenMovieFile, &first, &ref, 1)), 0);
  ASSERT_EQ(St(Op(kSel_OpenMovieFile, &last, &ref, 1)), 0);
  Op(kSel_CloseMovieFile, ref);
}

TEST(EnginePaths, NonAsciiAndLongPathsOpen) {
  // A name in the ANSI code page beyond ASCII.
  char full[MAX_PATH];
  GetFullPathNameA(MediaPath("clip.mp4").c_str(), MAX_PATH, full, nullptr);
  std::wstring wideDir = L"engine-media\\\u00e9t\u00e9";
  CreateDirectoryW(wideDir.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(L"engine-media\\clip.mp4", (wideDir + L"\\caf\u00e9.mp4").c_str(), FALSE));
  char ansi[MAX_PATH];
  WideCharToMultiByte(CP_ACP, 0, (wideDir + L"\\caf\u00e9.mp4").c_str(), -1, ansi, MAX_PATH, nullptr, nullptr);
  Opened o = OpenMovie(ansi);
  EXPECT_EQ(o.pathErr, 0);
  EXPECT_EQ(o.openErr, 0);
  EXPECT_EQ(o.movieErr, 0);
  if (o.movie) Op(kSel_DisposeMovie, o.movie);

  // A path longer than MAX_PATH, made through the extended-length form.
  wchar_t cwd[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, cwd);
  std::wstring dir = std::wstring(L"\\\\?\\") + cwd + L"\\engine-media";
  std::string ansiDir = std::string(full).substr(0, std::string(full).rfind('\\'));
  for (int i = 0; i < 6; ++i) {
    std::wstring part = L"\\long-folder-name-" + std::wstring(40, L'x') + std::to_wstring(i);
    dir += part;
    ansiDir += std::string(part.begin(), part.end());
    CreateDirectoryW(dir.c_str(), nullptr);
  }
  ASSERT_TRUE(CopyFileW(L"engine-media\\clip.mp4", (dir + L"\\clip.mp4").c_str(), FALSE));
  std::string longPath = ansiDir + "\\clip.mp4";
  ASSERT_GT(longPath.size(), 260u);
  o = OpenMovie(longPath);
  EXPECT_EQ(o.pathErr, 0);
  EXPECT_EQ(o.openErr, 0);
  EXPECT_EQ(o.movieErr, 0);
  if (o.movie) {
    EXPECT_EQ(Facts(o.movie).samples, 50u);
    Op(kSel_DisposeMovie, o.movie);
  }
}

TEST(EngineMovies, ModelsOfEachFormat) {
  struct Case {
    const char* file;
    int width, height;
    uint32_t samples;
    double seconds;
  } cases[] = {
      {"clip.mp4", 320, 240, 50, 2.0},
      {"clip-faststart.mp4", 320, 240, 50, 2.0},
      {"clip.mov", 320, 240, 50, 2.0},
      {"clip.avi", 320, 240, 50, 2.0},
      {"tone.wav", 0, 0, 0, 1.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Opened o = OpenMovie(MediaPath(c.file));
    ASSERT_EQ(o.movieErr, 0);
    MovieFacts f = Facts(o.movie);
    ASSERT_GT(f.scale, 0);
    EXPECT_NEAR(double(f.duration) / f.scale, c.seconds, 0.05);
    EXPECT_EQ(f.box.top, 0);
    EXPECT_EQ(f.box.left, 0);
    EXPECT_EQ(f.box.right, c.width);
    EXPECT_EQ(f.box.bottom, c.height);
    EXPECT_EQ(f.samples, c.samples);
    EXPECT_EQ(int16_t(Op(kSel_GetMovieVolume, o.movie)), 256);
    EXPECT_EQ(uint8_t(Op(kSel_IsMovieDone, o.movie)), 0);
    Op(kSel_DisposeMovie, o.movie);
  }
}

TEST(EngineMovies, BadFilesAreRefusedWithoutCrashing) {
  std::vector<uint8_t> clip = ReadFileBytes(MediaPath("clip-faststart.mp4"));
  ASSERT_GT(clip.size(), 4000u);
  std::vector<uint8_t> cut(clip.begin(), clip.begin() + 1500);  // inside the movie header
  WriteBytes(MediaPath("cut.mp4"), cut);
  std::vector<uint8_t> noise(30000);
  uint32_t x = 12345;
  for (auto& b : noise) b = uint8_t((x = x * 1103515245 + 12345) >> 24);
  WriteBytes(MediaPath("noise.mp4"), noise);
  WriteBytes(MediaPath("noise.avi"), noise);
  WriteBytes(MediaPath("empty.mov"), {});
  std::string text = "not a movie at all\n";
  WriteBytes(MediaPath("notes.txt"), std::vector<uint8_t>(text.begin(), text.end()));
  // A box header that claims a huge movie table.
  std::vector<uint8_t> huge = {0x7F, 0xFF, 0xFF, 0xFF, 'm', 'o', 'o', 'v', 0, 0, 0, 0};
  WriteBytes(MediaPath("huge.mov"), huge);

  // A real movie whose video track claims 60000 x 60000 pixels.
  std::vector<uint8_t> giant = clip;
  for (size_t i = 4; i + 88 <= giant.size(); ++i) {
    if (memcmp(&giant[i], "tkhd", 4) != 0) continue;
    uint32_t size = (giant[i - 4] << 24) | (giant[i - 3] << 16) | (giant[i - 2] << 8) | giant[i - 1];
    size_t dims = i - 4 + size - 8;  // width and height close the box, 16.16 each
    if (dims + 8 > giant.size() || (giant[dims] | giant[dims + 1]) == 0) continue;
    const uint8_t big[8] = {0xEA, 0x60, 0, 0, 0xEA, 0x60, 0, 0};
    memcpy(&giant[dims], big, 8);
  }
  ASSERT_NE(giant, clip);
  WriteBytes(MediaPath("giant.mp4"), giant);

  for (const char* name : {"cut.mp4", "noise.mp4", "noise.avi", "empty.mov", "notes.txt", "huge.mov", "giant.mp4"}) {
    SCOPED_TRACE(name);
    Opened o = OpenMovie(MediaPath(name));
    EXPECT_EQ(o.pathErr, 0);
    EXPECT_TRUE(o.openErr != 0 || o.movieErr != 0);
    EXPECT_EQ(o.movie, nullptr);
  }
}

TEST(EngineMovies, ForeignReferencesAreHarmless) {
  Movie bogus = reinterpret_cast<Movie>(0x1234);
  EXPECT_EQ(Op(kSel_GetMovieDuration, bogus), 0u);
  EXPECT_EQ(uint8_t(Op(kSel_IsMovieDone, bogus)), 1);
  EXPECT_NE(St(Op(kSel_PrerollMovie, bogus, 0, 0x10000)), 0);
  Op(kSel_DisposeMovie, bogus);
  Op(kSel_MoviesTask, bogus, 0);
  EXPECT_EQ(Op(kSel_GetMoviePict, bogus, 0), 0u);
  EXPECT_EQ(Op(kSel_GetHandleSize, bogus), 0u);
  Op(kSel_KillPicture, bogus);
  EXPECT_EQ(Op(kSel_CreatePortAssociation, bogus, 0, 0), 0u);
  EXPECT_EQ(Op(kSel_GetTimeBaseFlags, bogus), 0u);
}

TEST(EngineMemory, FixedPointRectsAndTheCurrentPort) {
  struct {
    double x;
    Fixed f;
  } fixes[] = {{1.0, 0x10000}, {0.5, 0x8000}, {-1.0, -0x10000}, {1e12, INT32_MAX}, {-1e12, INT32_MIN}};
  for (auto& c : fixes) {
    Fixed out = 7;
    Op(kSel_X2FixDispatch, &out, &c.x);
    EXPECT_EQ(out, c.f) << c.x;
  }
  Rect empty = {10, 10, 10, 20}, full = {0, 0, 1, 1};
  EXPECT_EQ(uint8_t(Op(kSel_EmptyRect, &empty)), 1);
  EXPECT_EQ(uint8_t(Op(kSel_EmptyRect, &full)), 0);

  HWND w = CreateWindowA("STATIC", "port", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
  auto port = reinterpret_cast<CGrafPtr>(Op(kSel_CreatePortAssociation, w, 0, 0));
  ASSERT_NE(port, nullptr);
  CGrafPtr saved = nullptr;
  GDHandle device = nullptr;
  Op(kSel_GetGWorld, &saved, &device);
  Op(kSel_SetGWorld, port, 0);
  CGrafPtr now = nullptr;
  Op(kSel_GetGWorld, &now, &device);
  EXPECT_EQ(now, port);
  EXPECT_EQ(device, nullptr);
  Op(kSel_SetGWorld, saved, 0);
  Op(kSel_DestroyPortAssociation, port);
  DestroyWindow(w);
}

TEST(EnginePictures, PictureHandleAndExporterRequests) {
  Opened o = OpenMovie(MediaPath("clip.mov"));
  ASSERT_EQ(o.movieErr, 0);
  auto pict = reinterpret_cast<PicHandle>(Op(kSel_GetMoviePict, o.movie, 0));
  ASSERT_NE(pict, nullptr);
  int32_t size = int32_t(Op(kSel_GetHandleSize, pict));
  ASSERT_GT(size, 512);
  std::vector<uint8_t> bytes(size);
  Op(kSel_HLock, pict);
  Op(kSel_BlockMoveData, *reinterpret_cast<char**>(pict), bytes.data(), size);
  Op(kSel_HUnlock, pict);
  EXPECT_EQ((bytes[0] << 8) | bytes[1], size & 0xFFFF);
  Picture pic = ReadPict(bytes.data(), bytes.size());
  EXPECT_EQ(pic.width, 320);
  EXPECT_EQ(pic.height, 240);

  ComponentInstance ci = nullptr;
  EXPECT_NE(St(Op(kSel_OpenADefaultComponent, QT_FOUR_CC('g', 'r', 'e', 'x'), QT_FOUR_CC('J', 'P', 'E', 'G'), &ci)), 0);
  ASSERT_EQ(St(Op(kSel_OpenADefaultComponent, GraphicsExporterComponentType, kQTFileTypePicture, &ci)), 0);
  ASSERT_NE(ci, nullptr);
  Rect dims = {1, 2, 3, 4};
  ComponentParameters getDims = {0, 4, kGraphicsExportGetInputImageDimensionsSelect, Word(&dims)};
  EXPECT_NE(int32_t(Op(kSel_ComponentRequest, ci, &getDims)), 0);  // no input yet
  ComponentParameters setPict = {0, 4, kGraphicsExportSetInputPictureSelect, Word(pict)};
  ASSERT_EQ(int32_t(Op(kSel_ComponentRequest, ci, &setPict)), 0);
  ASSERT_EQ(int32_t(Op(kSel_ComponentRequest, ci, &getDims)), 0);
  EXPECT_EQ(dims.top, 0);
  EXPECT_EQ(dims.left, 0);
  EXPECT_EQ(dims.bottom, 240);
  EXPECT_EQ(dims.right, 320);
  ComponentParameters other = {0, 4, 12, 0};
  EXPECT_EQ(uint32_t(Op(kSel_ComponentRequest, ci, &other)), 0x80008002u);
  ComponentParameters notAPicture = {0, 4, kGraphicsExportSetInputPictureSelect, 0x1234};
  EXPECT_NE(int32_t(Op(kSel_ComponentRequest, ci, &notAPicture)), 0);
  EXPECT_EQ(St(Op(kSel_CloseComponent, ci)), 0);
  EXPECT_NE(St(Op(kSel_CloseComponent, ci)), 0);
  EXPECT_NE(int32_t(Op(kSel_ComponentRequest, ci, &getDims)), 0);

  Op(kSel_KillPicture, pict);
  EXPECT_EQ(Op(kSel_GetHandleSize, pict), 0u);
  Op(kSel_DisposeMovie, o.movie);
}

TEST(EngineMovies, SoundAloneStepsInHundredths) {
  Opened o = OpenMovie(MediaPath("tone.wav"));
  ASSERT_EQ(o.movieErr, 0);
  // The walk from time 0 over steps, as for a movie without video samples.
  TimeValue t = 0, next = 0;
  uint32_t count = 0;
  while (t >= 0 && count < 100000) {
    Op(kSel_GetMovieNextInterestingTime, o.movie, nextTimeStep, 0, 0, t, 0x10000, &next, 0);
    t = next;
    ++count;
  }
  EXPECT_EQ(count - 1, 149u);  // 1.5 s: steps at 0.01 s .. 1.49 s after the first
  Op(kSel_DisposeMovie, o.movie);
}
