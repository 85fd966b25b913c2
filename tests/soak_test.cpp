// Sessions of the plug-in with the media engine, started and ended many
// times in every way the host can end them: every answer is right, and
// after a warm-up the process holds no more handles, GDI or USER objects,
// windows, threads or memory at the end than before, give or take a little.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdio.h>
#include <string>

#include "tests/test_paths.h"
#include "tests/process_counts.h"
#include "tests/soak_phases.h"

#ifndef VANTORO_MEDIA_DIR
#error VANTORO_MEDIA_DIR names the folder of the test media
#endif

namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct Planned {
  soak::Phase phase;
  int cycles;
};

TEST(Soak, SessionsLeaveNothingBehind) {
  soak::Movies movies{WindowsPath(VANTORO_MEDIA_DIR "/h264_aac.mp4"), WindowsPath(VANTORO_MEDIA_DIR "/mjpeg_pcm.mov"),
                      WindowsPath(VANTORO_SOAK_MEDIA_DIR "/tiny.mp4")};
  if (!Exists(movies.first) || !Exists(movies.second) || !Exists(movies.tiny)) GTEST_SKIP() << "no test media";
  soak::Rig rig;
  std::string error;
  ASSERT_TRUE(rig.Open(Folder(), movies, &error)) << error;

  const Planned plan[] = {
      {soak::Phase::PlayStop, 100},         {soak::Phase::PlayToEnd, 20},        {soak::Phase::CloseWhilePlaying, 20},
      {soak::Phase::StopInWindowProc, 24}, {soak::Phase::PlayInWindowProc, 24}, {soak::Phase::PlayWhileStarting, 10},
  };
  for (const Planned& p : plan) {
    soak::PhaseResult r = soak::RunPhase(rig, p.phase, 4);
    ASSERT_EQ(r.failures, 0) << soak::PhaseName(p.phase) << " warm-up, " << r.firstFailure;
  }

  soak::ProcessCounts first = soak::ReadProcessCounts();
  for (const Planned& p : plan) {
    soak::ProcessCounts before = soak::ReadProcessCounts();
    soak::PhaseResult r = soak::RunPhase(rig, p.phase, p.cycles);
    soak::ProcessCounts after = soak::ReadProcessCounts();
    EXPECT_EQ(r.failures, 0) << soak::PhaseName(p.phase) << ", " << r.firstFailure;
    printf("%-28s %4d cycles %5.1fs  handles %s, windows %s, threads %s, private %s\n", soak::PhaseName(p.phase),
           r.cycles, r.seconds, soak::Change(before.handles, after.handles).c_str(),
           soak::Change(before.windows, after.windows).c_str(), soak::Change(before.threads, after.threads).c_str(),
           soak::ChangeBytes(before.privateBytes, after.privateBytes).c_str());
  }
  soak::ProcessCounts last = soak::ReadProcessCounts();
  printf("GDI objects %s, USER objects %s\n", soak::Change(first.gdiObjects, last.gdiObjects).c_str(),
         soak::Change(first.userObjects, last.userObjects).c_str());

  EXPECT_LE(last.handles - first.handles, 10);
  if (first.gdiObjects >= 0) {
    EXPECT_LE(last.gdiObjects - first.gdiObjects, 5);
  }
  if (first.userObjects >= 0) {
    EXPECT_LE(last.userObjects - first.userObjects, 5);
  }
  EXPECT_LE(last.windows - first.windows, 0) << "windows left behind";
  EXPECT_LE(last.threads - first.threads, 2) << "engine threads left running";
  EXPECT_LE(last.privateBytes - first.privateBytes, 4 << 20);
  rig.Close();
}

}  // namespace
