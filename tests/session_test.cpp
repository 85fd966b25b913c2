// Ending a session, and counting a movie's frames.
#include <gtest/gtest.h>

#include "plugin_fixture.h"

namespace {

using fixture::PluginTest;

class Session : public PluginTest {};

TEST_F(Session, ClosingRepaintsTheMovieArea) {
  ASSERT_EQ(Play("|0|1|||10|10|100|80"), "");
  Poke();
  HDC dc = GetDC(document);
  RECT box = {10, 10, 110, 90};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(dc, &box, red);
  DeleteObject(red);
  ReleaseDC(document, dc);
  engine->ClearLog();
  ASSERT_EQ(Call("Vantoro-Stop"), "");
  const std::vector<uint32_t> teardown = {kSel_GetMovieBox, kSel_IsMovieDone, kSel_StopMovie, kSel_DisposeMovie,
                                          kSel_SetGWorld, kSel_DestroyPortAssociation, kSel_CloseMovieFile};
  EXPECT_EQ(engine->Selectors(), teardown) << engine->Trace();
  UpdateWindow(document);
  dc = GetDC(document);
  EXPECT_EQ(GetPixel(dc, 50, 50), standin::kDocumentBackground) << "the last frame is painted over";
  ReleaseDC(document, dc);
}

TEST_F(Session, StopWithNothingOpenChangesNothing) {
  ASSERT_EQ(Call("Vantoro-Stop"), "");
  EXPECT_TRUE(engine->Log().empty());
}

TEST_F(Session, ReinitialisingWhilePlayingClosesTheMovie) {
  ASSERT_EQ(Play(), "");
  EXPECT_EQ(plugin.Initialise(), 4);
  EXPECT_TRUE(engine->Movies().empty());
  EXPECT_EQ(engine->PortCount(), 0u);
  EXPECT_FALSE(Subclassed()) << "the window keeps its own procedure";
  Poke();
  EXPECT_EQ(standin::HostWindows::CountSeen(document, WM_NULL), 1);
  EXPECT_EQ(Call("Vantoro-GetTime"), "74005");
}

TEST_F(Session, MovieWithoutSamplesOrSteps) {
  testengine::MovieSpec bare;
  bare.duration = 1200;
  bare.timeScale = 600;
  ASSERT_TRUE(engine->DefineMovie("C:\\Movies\\bare.mov", bare));
  engine->ClearLog();
  EXPECT_EQ(Call("Vantoro-GetDuration", "C:\\Movies\\bare.mov"), "00:00:02.00");
  // The step walk shrinks the box to a dot for one task, then puts it back.
  auto boxes = engine->CallsOf(kSel_SetMovieBox);
  ASSERT_EQ(boxes.size(), 2u);
  auto steps = engine->CallsOf(kSel_GetMovieNextInterestingTime);
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[1].args[1] & 0xFFFF, static_cast<uint32_t>(nextTimeStep));
  EXPECT_EQ(steps[1].args[2] & 0xFFFF, 0u);
  EXPECT_EQ(steps[1].args[5], 0x10000u) << "the step walk goes at rate 1";
  EXPECT_EQ(steps[1].args[7], 0u) << "no duration asked for";
  EXPECT_EQ(engine->Count(kSel_MoviesTask), 1u);
}

TEST_F(Session, FrameRateGivesTheFrameField) {
  ASSERT_EQ(Play(), "");
  engine->SetMovieTimeFromTest(engine->CurrentMovie(), 600 + 48);
  EXPECT_EQ(Call("Vantoro-GetTime"), "00:00:01.02") << "25 frames a second: 48 units are 2 frames";
}

}  // namespace
