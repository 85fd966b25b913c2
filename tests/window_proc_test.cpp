// MovieWindowProc on a real subclassed document window: painting, the end of
// the movie, window destruction, size-move, and a host procedure that calls
// the plug-in from inside.
#include <gtest/gtest.h>

#include <functional>

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
  // A playing movie that moves on by step units with each message.
  Movie Running(TimeValue step) {
    EXPECT_EQ(Play(), "");
    Movie movie = engine->CurrentMovie();
    engine->SetTaskStep(movie, step);
    Poke();
    return movie;
  }
};

TEST_F(WindowProc, PaintKeepsTheHostOffTheMovieBox) {
  ASSERT_EQ(Play("|0|0|||10|10|100|80"), "");
  Poke();
  Fill(RGB(255, 0, 0));
  uint32_t updates = engine->State(engine->CurrentMovie()).updates;
  InvalidateRect(document, nullptr, TRUE);
  UpdateWindow(document);
  EXPECT_GE(HostWindows::CountSeen(document, WM_PAINT), 1) << "WM_PAINT still reaches the host";
  EXPECT_GT(engine->State(engine->CurrentMovie()).updates, updates) << "the movie's picture is brought up to date";
  EXPECT_EQ(PixelAt(50, 50), RGB(255, 0, 0)) << "the host painted over the movie";
  EXPECT_EQ(PixelAt(200, 200), standin::kDocumentBackground);
}

// The host may change the current graphics world between messages: each
// message makes the movie's port current before the movie runs or draws, and
// gives the host's world back after.
TEST_F(WindowProc, MovieRunsAndDrawsInItsOwnPort) {
  ASSERT_EQ(Play(), "");
  CGrafPtr port = engine->State(engine->CurrentMovie()).port;
  CGrafPtr before = engine->CurrentGWorld();
  // Each message on its own: the port counts as current from the moment the
  // message makes it so, not from an earlier one.
  auto expectWorkInPort = [&](const char* message, const std::function<void()>& send) {
    engine->ClearLog();
    send();
    bool inPort = false;
    size_t work = 0;
    for (const testengine::Call& call : engine->Log()) {
      if (call.selector == kSel_SetGWorld) inPort = call.args[0] == reinterpret_cast<uint32_t>(port);
      if (call.selector == kSel_MoviesTask || call.selector == kSel_UpdateMovie ||
          call.selector == kSel_SetMovieRate) {
        ++work;
        EXPECT_TRUE(inPort) << message << ": " << testengine::TestEngine::Name(call.selector)
                            << " outside the movie's port\n" << engine->Trace();
      }
    }
    EXPECT_GT(work, 0u) << message;
    EXPECT_EQ(engine->CurrentGWorld(), before) << message;
  };
  expectWorkInPort("the first message", [&] { Poke(); });
  expectWorkInPort("a paint", [&] {
    InvalidateRect(document, nullptr, TRUE);
    UpdateWindow(document);
  });
}

TEST_F(WindowProc, EndOfTheMovie) {
  Movie movie = Running(0);
  UpdateWindow(document);
  Fill(RGB(255, 0, 0));
  engine->SetDone(movie, true);
  Poke(WM_USER + 5);
  EXPECT_TRUE(Subclassed()) << "given back at the next message, not this one";
  uint32_t tasks = engine->State(movie).tasks;
  HostWindows::ClearSeen(document);
  Poke(WM_USER + 6);
  EXPECT_FALSE(Subclassed());
  EXPECT_EQ(HostWindows::CountSeen(document, WM_USER + 6), 1) << "the message goes on to the host";
  EXPECT_EQ(engine->State(movie).tasks, tasks) << "no movie work once finished";
  // Its area was invalidated when it ended: the host paints over the last
  // frame, and over nothing else.
  UpdateWindow(document);
  EXPECT_EQ(PixelAt(50, 50), standin::kDocumentBackground);
  EXPECT_EQ(PixelAt(400, 300), RGB(255, 0, 0));

  EXPECT_FALSE(engine->IsDisposed(movie)) << "closed at the next external call";
  EXPECT_TRUE(TimerMessagesArrive(1)) << "the timer still runs into the host";
  EXPECT_EQ(Call("Vantoro-Version"), "1.0");
  EXPECT_TRUE(engine->IsDisposed(movie));
  ExpectNothingLeft();
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
  Movie movie = Running(100);
  ASSERT_EQ(engine->MovieTime(movie), 100);
  Fixed rateWhenTheHostSawIt = -1;
  HostWindows::OnMessage(document, WM_DESTROY, [&] { rateWhenTheHostSawIt = engine->MovieRate(movie); });
  Poke(WM_DESTROY);
  EXPECT_EQ(rateWhenTheHostSawIt, 0) << "silent before the host takes its window down";
  EXPECT_EQ(engine->MovieTime(movie), 100) << "WM_DESTROY gives the movie no time";
  Poke();
  EXPECT_FALSE(Subclassed());
  EXPECT_EQ(Call("Vantoro-GetTime"), "74005");
  ExpectNothingLeft();
}

TEST_F(WindowProc, ClosingTheDocumentWindowEndsTheSession) {
  Movie movie = Running(100);
  Fixed rateWhenTheHostSawIt = -1;
  HostWindows::OnMessage(document, WM_DESTROY, [&] { rateWhenTheHostSawIt = engine->MovieRate(movie); });
  windows.CloseDocument(document);
  document = nullptr;
  EXPECT_EQ(rateWhenTheHostSawIt, 0) << "silent before the window goes";
  EXPECT_EQ(Call("Vantoro-GetTime"), "74005");
  EXPECT_TRUE(engine->IsDisposed(movie));
  ExpectNothingLeft();
}

TEST_F(WindowProc, SizeMoveStartGivesNoTime) {
  Movie movie = Running(100);
  Poke(WM_ENTERSIZEMOVE);
  EXPECT_EQ(engine->MovieTime(movie), 100);
  EXPECT_EQ(HostWindows::CountSeen(document, WM_ENTERSIZEMOVE), 1);
  Poke(WM_EXITSIZEMOVE);
  EXPECT_EQ(engine->MovieTime(movie), 200);
}

TEST_F(WindowProc, HostProcedureStopsTheMovie) {
  ASSERT_EQ(Play(), "");
  Poke();
  HostWindows::OnMessage(document, WM_USER + 1, [&] { EXPECT_EQ(Call("Vantoro-Stop"), ""); });
  Poke(WM_USER + 1);
  // The movie gone, the procedure must not touch it again on its way out:
  // the engine logs any use of a disposed movie, and TearDown fails on it.
  ExpectNothingLeft();
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
  EXPECT_TRUE(engine->IsDisposed(first));
  EXPECT_EQ(engine->Movies().size(), 1u);
  EXPECT_EQ(engine->State(second).rate, 0x20000) << "the new movie started on the way out";
  EXPECT_TRUE(Subclassed());
  Call("Vantoro-Stop");
  EXPECT_EQ(DocumentProcNow(), HostWindows::DocumentProc());
}

TEST_F(WindowProc, RateZeroStaysStill) {
  ASSERT_EQ(Play("|0|0"), "");
  Movie movie = engine->CurrentMovie();
  engine->SetTaskStep(movie, 100);
  Poke();
  Poke();
  EXPECT_EQ(engine->MovieRate(movie), 0);
  EXPECT_EQ(engine->MovieTime(movie), 0);
  ASSERT_EQ(Call("Vantoro-SetRate", "1"), "");
  Poke();
  EXPECT_EQ(engine->MovieRate(movie), 0x10000);
  EXPECT_EQ(engine->MovieTime(movie), 100);
}

TEST_F(WindowProc, RateSetBeforeTheStartIsTheStartingRate) {
  ASSERT_EQ(Play(), "");
  ASSERT_EQ(Call("Vantoro-SetRate", "2"), "");
  Poke();
  EXPECT_EQ(engine->MovieRate(engine->CurrentMovie()), 0x20000);
}

}  // namespace
