// MovieWindowProc on a real subclassed document window: painting, the end of
// the movie, window destruction, size-move, and a host procedure that calls
// the plug-in from inside.
#include <gtest/gtest.h>

#include "plugin_fixture.h"

namespace {

using fixture::PluginTest;
using standin::HostWindows;

class WindowProc : public PluginTest {
 protected:
  COLORREF PixelAt(int x, int y) {
    HDC dc = GetDC(document);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(document, dc);
    return c;
  }
  void Fill(COLORREF colour) {
    HDC dc = GetDC(document);
    RECT all;
    GetClientRect(document, &all);
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    ReleaseDC(document, dc);
  }
};

TEST_F(WindowProc, PaintKeepsTheHostOffTheMovieBox) {
  ASSERT_EQ(Play("|0|0|||10|10|100|80"), "");
  Poke();
  Fill(RGB(255, 0, 0));
  engine->ClearLog();
  InvalidateRect(document, nullptr, TRUE);
  UpdateWindow(document);
  EXPECT_GE(HostWindows::CountSeen(document, WM_PAINT), 1) << "WM_PAINT still reaches the host";
  EXPECT_GE(engine->Count(kSel_UpdateMovie), 1u);
  EXPECT_EQ(PixelAt(50, 50), RGB(255, 0, 0)) << "the host painted over the movie";
  EXPECT_EQ(PixelAt(200, 200), standin::kDocumentBackground);
  // The box is validated before the host's procedure runs.
  auto selectors = engine->Selectors();
  ASSERT_GE(selectors.size(), 2u);
  EXPECT_EQ(selectors[0], kSel_GetGWorld);
}

TEST_F(WindowProc, PortIsCurrentWhileTheMovieGetsTime) {
  ASSERT_EQ(Play(), "");
  CGrafPtr port = engine->State(engine->CurrentMovie()).port;
  engine->ClearLog();
  Poke();
  // Each stretch of work is bracketed by making the port current and
  // restoring the saved world.
  auto sets = engine->CallsOf(kSel_SetGWorld);
  ASSERT_EQ(sets.size(), 4u);
  EXPECT_EQ(sets[0].args[0], reinterpret_cast<uint32_t>(port));
  EXPECT_EQ(sets[0].args[1], 0u);
  EXPECT_EQ(sets[2].args[0], reinterpret_cast<uint32_t>(port));
}

TEST_F(WindowProc, EndOfTheMovie) {
  ASSERT_EQ(Play(), "");
  Movie movie = engine->CurrentMovie();
  Poke();
  engine->SetDone(movie, true);
  engine->ClearLog();
  Poke(WM_USER + 5);
  EXPECT_EQ(engine->Count(kSel_IsMovieDone), 1u);
  EXPECT_TRUE(Subclassed()) << "given back at the next message, not this one";
  HostWindows::ClearSeen(document);
  engine->ClearLog();
  Poke(WM_USER + 6);
  EXPECT_FALSE(Subclassed());
  EXPECT_EQ(HostWindows::CountSeen(document, WM_USER + 6), 1) << "the message goes on to the host";
  EXPECT_EQ(engine->Log().size(), 0u) << "no movie work once finished";
  EXPECT_FALSE(engine->IsDisposed(movie)) << "closed at the next external call";
  windows.Pump(60);
  EXPECT_GE(HostWindows::CountSeen(document, WM_TIMER), 1) << "the timer still runs into the host";
  engine->ClearLog();
  EXPECT_EQ(Call("Vantoro-Version"), "1.0");
  EXPECT_TRUE(engine->Movies().empty());
  EXPECT_EQ(engine->Count(kSel_StopMovie), 0u) << "a finished movie needs no stop";
  EXPECT_EQ(engine->PortCount(), 0u);
  EXPECT_EQ(engine->OpenFileCount(), 0u);
  EXPECT_EQ(Call("Vantoro-GetTime"), "74005");
}

TEST_F(WindowProc, FinishedMovieIsClosedByAnyFunctionButSlotSeven) {
  for (int number : {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12}) {
    ASSERT_EQ(Play(), "");
    engine->SetDone(engine->CurrentMovie(), true);
    Poke();
    EXPECT_EQ(plugin.Call(7, ""), "");
    EXPECT_EQ(engine->Movies().size(), 1u) << "slot 7 is empty: nothing runs";
    plugin.Call(number, "");
    EXPECT_TRUE(engine->Movies().empty()) << number;
  }
}

TEST_F(WindowProc, DestroyMarksTheMovieFinished) {
  ASSERT_EQ(Play(), "");
  Poke();
  engine->ClearLog();
  Poke(WM_DESTROY);
  EXPECT_EQ(engine->Count(kSel_MoviesTask), 0u) << "WM_DESTROY gives the movie no time";
  EXPECT_EQ(engine->Count(kSel_StopMovie), 1u) << "and stops it, so no sound plays on";
  EXPECT_EQ(HostWindows::CountSeen(document, WM_DESTROY), 1) << "and still reaches the host";
  Poke();
  EXPECT_FALSE(Subclassed());
  EXPECT_EQ(Call("Vantoro-GetTime"), "74005");
}

TEST_F(WindowProc, ClosingTheDocumentWindowEndsTheSession) {
  ASSERT_EQ(Play(), "");
  Poke();
  windows.CloseDocument(document);
  EXPECT_EQ(Call("Vantoro-GetTime"), "74005");
  EXPECT_TRUE(engine->Movies().empty());
  EXPECT_EQ(engine->PortCount(), 0u);
  document = nullptr;
}

TEST_F(WindowProc, SizeMoveStartGivesNoTime) {
  ASSERT_EQ(Play(), "");
  Poke();
  engine->ClearLog();
  Poke(WM_ENTERSIZEMOVE);
  EXPECT_EQ(engine->Count(kSel_MoviesTask), 0u);
  EXPECT_EQ(HostWindows::CountSeen(document, WM_ENTERSIZEMOVE), 1);
  Poke(WM_EXITSIZEMOVE);
  EXPECT_EQ(engine->Count(kSel_MoviesTask), 1u);
}

TEST_F(WindowProc, HostProcedureStopsTheMovie) {
  ASSERT_EQ(Play(), "");
  Poke();
  HostWindows::OnMessage(document, WM_USER + 1, [&] { EXPECT_EQ(Call("Vantoro-Stop"), ""); });
  engine->ClearLog();
  Poke(WM_USER + 1);
  EXPECT_TRUE(engine->Movies().empty());
  EXPECT_FALSE(Subclassed());
  EXPECT_EQ(engine->Count(kSel_MoviesTask), 0u) << "no time for a movie that is gone";
  EXPECT_TRUE(engine->Misuses().empty());
}

TEST_F(WindowProc, HostProcedurePlaysAnotherMovie) {
  ASSERT_EQ(Play(), "");
  Poke();
  Movie first = engine->CurrentMovie();
  HostWindows::OnMessage(document, WM_USER + 2, [&] { EXPECT_EQ(Play("|0|2"), ""); });
  Poke(WM_USER + 2);
  Movie second = engine->CurrentMovie();
  ASSERT_NE(second, first);
  EXPECT_EQ(engine->Movies().size(), 1u);
  EXPECT_EQ(engine->State(second).rate, 0x20000) << "the new movie started on the way out";
  EXPECT_TRUE(Subclassed());
  Call("Vantoro-Stop");
  EXPECT_EQ(DocumentProcNow(), HostWindows::DocumentProc());
}

TEST_F(WindowProc, RateZeroConsumesTheStart) {
  ASSERT_EQ(Play("|0|0"), "");
  Poke();
  EXPECT_EQ(engine->Count(kSel_SetMovieRate), 1u);
  EXPECT_EQ(engine->State(engine->CurrentMovie()).rate, 0);
  ASSERT_EQ(Call("Vantoro-SetRate", "1"), "");
  Poke();
  EXPECT_EQ(engine->State(engine->CurrentMovie()).rate, 0x10000);
}

TEST_F(WindowProc, RateSetBeforeTheStartIsTheStartingRate) {
  ASSERT_EQ(Play(), "");
  ASSERT_EQ(Call("Vantoro-SetRate", "2"), "");
  engine->ClearLog();
  Poke();
  auto rates = engine->CallsOf(kSel_SetMovieRate);
  ASSERT_EQ(rates.size(), 1u);
  EXPECT_EQ(rates[0].args[1], 0x20000u);
}

}  // namespace
