// The scripted test engine, driven through the gate as the plug-in drives
// it: what it answers, what it tracks, and how scripted failures behave.
#include <gtest/gtest.h>
#include <string.h>

#include "media_interface/operations.h"
#include "testengine/client.h"

using testengine::TestEngine;

namespace {

class Engine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine.ok());
    engine.Reset();
    testengine::MovieSpec clip;
    clip.duration = 3000;
    clip.timeScale = 600;
    clip.box = Rect{0, 0, 240, 320};
    clip.sampleTimes = {0, 24, 48, 72};
    ASSERT_TRUE(engine.DefineMovie("C:\\media\\clip.mov", clip));
    testengine::MovieSpec sound;
    sound.duration = 44100;
    sound.timeScale = 44100;
    sound.box = Rect{0, 0, 0, 0};
    sound.stepTimes = {0, 22050, 44100};
    ASSERT_TRUE(engine.DefineMovie("C:\\media\\sound.wav", sound));
  }

  Movie Open(const char* path, int16_t* fileRef = nullptr) {
    FSSpec spec;
    int16_t ref = 0;
    Movie movie = nullptr;
    int16_t resId = 0;
    Boolean changed = 0;
    EXPECT_EQ(NativePathNameToFSSpec(path, &spec, 0), 0);
    EXPECT_EQ(OpenMovieFile(&spec, &ref, fsRdPerm), 0);
    EXPECT_EQ(NewMovieFromFile(&movie, ref, &resId, nullptr, 0, &changed), 0);
    if (fileRef) *fileRef = ref;
    return movie;
  }

  // As the session counts frames: edge first, then strictly after.
  uint32_t CountSamples(Movie movie) {
    OSType types[1] = {VideoMediaType};
    int16_t flags = nextTimeMediaSample | nextTimeEdgeOK;
    TimeValue time = 0;
    uint32_t count = 0;
    for (;;) {
      TimeValue next = 0, duration = 0;
      GetMovieNextInterestingTime(movie, flags, 1, types, time, 0, &next, &duration);
      if (next < 0) return count;
      ++count;
      time = next;
      flags = nextTimeMediaSample;
    }
  }

  TestEngine engine;
};

TEST_F(Engine, PathsOpenOnlyWhenDefined) {
  FSSpec spec;
  memset(&spec, 0, sizeof spec);
  EXPECT_EQ(NativePathNameToFSSpec("C:\\media\\missing.mov", &spec, 0), -43);
  int16_t ref = 0;
  EXPECT_NE(OpenMovieFile(&spec, &ref, fsRdPerm), 0);  // a spec nobody filled
  EXPECT_EQ(ref, 0);
  EXPECT_EQ(NativePathNameToFSSpec("c:\\MEDIA\\clip.mov", &spec, 0), 0);
  EXPECT_EQ(engine.Paths(), (std::vector<std::string>{"C:\\media\\missing.mov", "c:\\MEDIA\\clip.mov"}));
  EXPECT_EQ(engine.OpenFileCount(), 0u);
}

TEST_F(Engine, MovieCarriesItsDefinition) {
  int16_t ref = 0;
  Movie movie = Open("C:\\media\\clip.mov", &ref);
  ASSERT_NE(movie, nullptr);
  EXPECT_NE(ref, 0);
  EXPECT_EQ(engine.OpenFileCount(), 1u);
  EXPECT_EQ(GetMovieDuration(movie), 3000);
  EXPECT_EQ(GetMovieTimeScale(movie), 600);
  Rect box;
  GetMovieBox(movie, &box);
  EXPECT_EQ(box.bottom, 240);
  EXPECT_EQ(box.right, 320);
  EXPECT_EQ(GetMovieVolume(movie), 256);

  EXPECT_EQ(CloseMovieFile(ref), 0);
  EXPECT_EQ(engine.OpenFileCount(), 0u);
  EXPECT_EQ(GetMovieDuration(movie), 3000);  // the movie outlives its file
  DisposeMovie(movie);
  EXPECT_TRUE(engine.IsDisposed(movie));
  EXPECT_TRUE(engine.Movies().empty());
  EXPECT_TRUE(engine.Misuses().empty());
}

TEST_F(Engine, StaleObjectsAreReportedNotUsed) {
  int16_t ref = 0;
  Movie movie = Open("C:\\media\\clip.mov", &ref);
  DisposeMovie(movie);
  DisposeMovie(movie);
  EXPECT_EQ(GetMovieDuration(movie), 0);
  EXPECT_EQ(CloseMovieFile(ref), 0);
  EXPECT_NE(CloseMovieFile(ref), 0);
  GetMovieDuration(reinterpret_cast<Movie>(0x1234));
  std::vector<std::string> misuses = engine.Misuses();
  ASSERT_EQ(misuses.size(), 4u);
  EXPECT_EQ(misuses[0], "DisposeMovie: disposed movie");
  EXPECT_EQ(misuses[3], "GetMovieDuration: unknown movie");
}

TEST_F(Engine, SampleAndStepWalks) {
  Movie clip = Open("C:\\media\\clip.mov");
  EXPECT_EQ(CountSamples(clip), 4u);
  Movie sound = Open("C:\\media\\sound.wav");
  EXPECT_EQ(CountSamples(sound), 0u);

  TimeValue next = 0;
  GetMovieNextInterestingTime(sound, nextTimeStep, 0, nullptr, 0, 0x10000, &next, nullptr);
  EXPECT_EQ(next, 22050);
  GetMovieNextInterestingTime(sound, nextTimeStep, 0, nullptr, 44100, 0x10000, &next, nullptr);
  EXPECT_EQ(next, -1);
  GetMovieNextInterestingTime(sound, nextTimeStep | nextTimeEdgeOK, 0, nullptr, 0, 0x10000,
                              &next, nullptr);
  EXPECT_EQ(next, 0);
  // Samples are asked for by media type: without 'vide' there are none.
  OSType sound_[1] = {QT_FOUR_CC('s', 'o', 'u', 'n')};
  GetMovieNextInterestingTime(clip, nextTimeMediaSample, 1, sound_, 0, 0, &next, nullptr);
  EXPECT_EQ(next, -1);
}

TEST_F(Engine, DoneAtSegmentEndUnlessLoopingOrScripted) {
  Movie movie = Open("C:\\media\\clip.mov");
  EXPECT_FALSE(IsMovieDone(movie));  // rate 0
  SetMovieActiveSegment(movie, 600, 1200);
  SetMovieRate(movie, 0x10000);
  SetMovieTimeValue(movie, 1799);
  EXPECT_FALSE(IsMovieDone(movie));
  engine.SetMovieTimeFromTest(movie, 1800);
  EXPECT_TRUE(IsMovieDone(movie));

  TimeBase timeBase = GetMovieTimeBase(movie);
  SetTimeBaseFlags(timeBase, GetTimeBaseFlags(timeBase) | loopTimeBase);
  EXPECT_FALSE(IsMovieDone(movie));
  EXPECT_EQ(engine.State(movie).timeBaseFlags, loopTimeBase);

  engine.SetDone(movie, true);
  EXPECT_TRUE(IsMovieDone(movie));
  engine.ClearDone(movie);
  EXPECT_FALSE(IsMovieDone(movie));
}

TEST_F(Engine, TasksAdvanceTimeWhenAsked) {
  Movie movie = Open("C:\\media\\clip.mov");
  engine.SetTaskStep(movie, 1000);
  MoviesTask(movie, 0);
  EXPECT_EQ(GetMovieTime(movie, nullptr), 0);  // not playing
  SetMovieRate(movie, 0x10000);
  MoviesTask(movie, 0);
  MoviesTask(movie, 0);
  MoviesTask(movie, 0);
  MoviesTask(movie, 0);
  EXPECT_EQ(GetMovieTime(movie, nullptr), 3000);  // stops at the end
  EXPECT_TRUE(IsMovieDone(movie));
  StopMovie(movie);
  EXPECT_EQ(engine.MovieRate(movie), 0);
  EXPECT_EQ(engine.State(movie).tasks, 5u);
}

TEST_F(Engine, PortsAndGraphicsWorld) {
  HWND window = reinterpret_cast<HWND>(0x1000);
  CGrafPtr port = CreatePortAssociation(window, nullptr, 0);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(engine.PortWindow(port), window);
  EXPECT_EQ(engine.PortCount(), 1u);

  CGrafPtr savedPort = nullptr;
  GDHandle savedDevice = nullptr;
  GetGWorld(&savedPort, &savedDevice);
  EXPECT_EQ(savedPort, engine.ScreenPort());
  EXPECT_EQ(savedDevice, engine.MainDevice());
  SetGWorld(port, nullptr);
  EXPECT_EQ(engine.CurrentGWorld(), port);
  EXPECT_EQ(engine.CurrentDevice(), nullptr);
  SetGWorld(savedPort, savedDevice);
  DestroyPortAssociation(port);
  EXPECT_EQ(engine.PortCount(), 0u);
  EXPECT_TRUE(engine.Misuses().empty());

  engine.FailAt(kSel_CreatePortAssociation, 2, 0);
  EXPECT_NE(CreatePortAssociation(window, nullptr, 0), nullptr);
  EXPECT_EQ(CreatePortAssociation(window, nullptr, 0), nullptr);
  EXPECT_NE(CreatePortAssociation(window, nullptr, 0), nullptr);
  EXPECT_EQ(engine.PortCount(), 2u);
}

TEST_F(Engine, DestroyingTheCurrentPortIsReported) {
  CGrafPtr port = CreatePortAssociation(reinterpret_cast<void*>(0x2000), nullptr, 0);
  SetGWorld(port, nullptr);
  DestroyPortAssociation(port);
  DestroyPortAssociation(port);
  EXPECT_EQ(engine.Misuses(), (std::vector<std::string>{"DestroyPortAssociation: port still current",
                                                        "DestroyPortAssociation: unknown port"}));
}

TEST_F(Engine, EmptyRectFollowsQuickDraw) {
  Rect r = {0, 0, 0, 0};
  EXPECT_TRUE(EmptyRect(&r));
  r = Rect{10, 10, 11, 11};
  EXPECT_FALSE(EmptyRect(&r));
  r = Rect{10, 10, 9, 20};
  EXPECT_TRUE(EmptyRect(&r));
  r = Rect{-50, -100, 0, 0};
  EXPECT_FALSE(EmptyRect(&r));
}

TEST_F(Engine, PicturesAreRealHandles) {
  Movie movie = Open("C:\\media\\clip.mov");
  engine.SetPictureBytes({1, 2, 3, 4, 5});
  PicHandle picture = GetMoviePict(movie, 24);
  ASSERT_NE(picture, nullptr);
  Handle handle = reinterpret_cast<Handle>(picture);
  EXPECT_EQ(GetHandleSize(handle), 5);
  HLock(handle);
  uint8_t copy[5] = {0};
  BlockMoveData(*handle, copy, 5);
  HUnlock(handle);
  EXPECT_EQ(0, memcmp(copy, "\1\2\3\4\5", 5));
  EXPECT_EQ(engine.OutstandingPictures(), 1u);
  KillPicture(picture);
  EXPECT_EQ(engine.OutstandingPictures(), 0u);
  EXPECT_EQ(GetHandleSize(handle), 0);
  EXPECT_EQ(engine.Misuses(), (std::vector<std::string>{"GetHandleSize: unknown handle"}));

  engine.FailAt(kSel_GetMoviePict, 1, 0);
  EXPECT_EQ(GetMoviePict(movie, 24), nullptr);
  EXPECT_EQ(engine.OutstandingPictures(), 0u);
}

TEST_F(Engine, ExporterWantsItsOwnTypeAndAPictureFirst) {
  ComponentInstance exporter = nullptr;
  EXPECT_NE(OpenADefaultComponent(GraphicsExporterComponentType, QT_FOUR_CC('J', 'P', 'E', 'G'),
                                  &exporter), 0);
  EXPECT_EQ(exporter, nullptr);
  ASSERT_EQ(OpenADefaultComponent(GraphicsExporterComponentType, kQTFileTypePicture, &exporter), 0);
  EXPECT_EQ(engine.OpenComponents(), 1u);
  Rect dimensions;
  ComponentParameters block = {0, 4, kGraphicsExportGetInputImageDimensionsSelect,
                               static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&dimensions))};
  EXPECT_NE(ComponentRequest(exporter, &block), 0);
  block.paramSize = 8;
  EXPECT_NE(ComponentRequest(exporter, &block), 0);
  EXPECT_EQ(CloseComponent(exporter), 0);
  EXPECT_NE(CloseComponent(exporter), 0);
  EXPECT_EQ(engine.OpenComponents(), 0u);
  EXPECT_EQ(engine.Misuses(), (std::vector<std::string>{"ComponentRequest: malformed parameter block",
                                                        "CloseComponent: unknown component"}));
}

TEST_F(Engine, ScriptedFailuresDoNothingElse) {
  FSSpec spec;
  ASSERT_EQ(NativePathNameToFSSpec("C:\\media\\clip.mov", &spec, 0), 0);
  engine.FailAt(kSel_OpenMovieFile, 2, static_cast<uint32_t>(-49));
  int16_t ref = 0;
  EXPECT_EQ(OpenMovieFile(&spec, &ref, fsRdPerm), 0);
  int16_t second = 0;
  EXPECT_EQ(OpenMovieFile(&spec, &second, fsRdPerm), -49);
  EXPECT_EQ(second, 0);  // no output written
  EXPECT_EQ(engine.OpenFileCount(), 1u);

  engine.FailAlways(kSel_NewMovieFromFile, static_cast<uint32_t>(-2048));
  Movie movie = nullptr;
  int16_t resId = 0;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(NewMovieFromFile(&movie, ref, &resId, nullptr, 0, nullptr), -2048);
  }
  EXPECT_EQ(movie, nullptr);
  EXPECT_TRUE(engine.Movies().empty());
  engine.ClearFailures();
  EXPECT_EQ(NewMovieFromFile(&movie, ref, &resId, nullptr, 0, nullptr), 0);

  std::vector<testengine::Call> opens = engine.CallsOf(kSel_OpenMovieFile);
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(opens[1].result, static_cast<uint32_t>(-49));
  EXPECT_EQ(engine.Count(kSel_NewMovieFromFile), 4u);
}

TEST_F(Engine, LogNamesTheOperations) {
  Rect r = {0, 0, 1, 1};
  EmptyRect(&r);
  MovieDisplayRectChanged(&r);
  EXPECT_EQ(engine.Trace(), "EmptyRect\nMovieDisplayRectChanged\n");
  Rect shown;
  ASSERT_TRUE(engine.LastDisplayRect(&shown));
  EXPECT_EQ(shown.bottom, 1);
  EXPECT_STREQ(TestEngine::Name(kSel_PrePrerollMovie), "PrePrerollMovie");
  engine.Reset();
  EXPECT_TRUE(engine.Log().empty());
  EXPECT_FALSE(engine.LastDisplayRect(&shown));
}

}  // namespace
