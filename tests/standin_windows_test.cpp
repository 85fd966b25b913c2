#include <gtest/gtest.h>

#include "standin/host_windows.h"

using namespace standin;

namespace {

std::string Title(HWND w) {
  char text[256] = "";
  GetWindowTextA(w, text, sizeof text);
  return text;
}

// A subclass like the plug-in's: counts what passes and hands it on.
WNDPROC saved;
int passed;
LRESULT CALLBACK Subclass(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  ++passed;
  LRESULT r = CallWindowProcA(saved, w, m, wp, lp);
  // The host's procedure may have taken the subclass out meanwhile; still
  // nothing here may touch the window's procedure again.
  return r;
}

class WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(host.Create()); }
  HostWindows host;
};

TEST_F(WindowsTest, FrameAndMdiClientLookLikeTheHosts) {
  EXPECT_EQ(Title(host.Frame()), "FileMaker Pro");
  EXPECT_TRUE(IsWindowVisible(host.Frame()));
  char name[64] = "";
  GetClassNameA(host.MdiClient(), name, sizeof name);
  EXPECT_STREQ(name, "MDIClient");
  EXPECT_EQ(GetParent(host.MdiClient()), host.Frame());
  EXPECT_EQ(GetWindowThreadProcessId(host.Frame(), nullptr), GetCurrentThreadId());
  host.SetFrameTitle("FileMaker Pro Advanced");
  EXPECT_EQ(Title(host.Frame()), "FileMaker Pro Advanced");
  EXPECT_EQ(host.Frontmost(), nullptr);
}

TEST_F(WindowsTest, FrontmostDocumentIsTheMdiClientsFirstChild) {
  HWND one = host.OpenDocument("One");
  HWND two = host.OpenDocument("Two", 320, 240);
  ASSERT_TRUE(one && two);
  EXPECT_EQ(GetParent(one), host.MdiClient());
  EXPECT_EQ(GetWindow(host.MdiClient(), GW_CHILD), two);
  EXPECT_EQ(host.FindDocument("One"), one);
  EXPECT_EQ(Title(two), "Two");

  host.BringToFront(one);
  EXPECT_EQ(GetWindow(host.MdiClient(), GW_CHILD), one);
  EXPECT_EQ(host.Frontmost(), one);

  host.CloseDocument(one);
  EXPECT_FALSE(IsWindow(one));
  EXPECT_EQ(HostWindows::CountSeen(one, WM_DESTROY), 1);
  EXPECT_EQ(host.Frontmost(), two);
  host.CloseDocument(two);
  EXPECT_EQ(host.Frontmost(), nullptr);
}

TEST_F(WindowsTest, DocumentProcedureSeesSubclassedMessagesAndPaints) {
  HWND doc = host.OpenDocument("Doc");
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongA(doc, GWL_WNDPROC)),
            HostWindows::DocumentProc());
  HostWindows::ClearSeen(doc);
  passed = 0;
  saved = reinterpret_cast<WNDPROC>(
      SetWindowLongA(doc, GWL_WNDPROC, reinterpret_cast<LONG>(Subclass)));
  SetTimer(doc, 7, 20, nullptr);
  host.Pump(200);
  KillTimer(doc, 7);
  EXPECT_GE(HostWindows::CountSeen(doc, WM_TIMER), 3);
  EXPECT_GE(passed, HostWindows::CountSeen(doc, WM_TIMER));
  SetWindowLongA(doc, GWL_WNDPROC, reinterpret_cast<LONG>(saved));

  InvalidateRect(doc, nullptr, TRUE);
  UpdateWindow(doc);
  EXPECT_GE(HostWindows::CountSeen(doc, WM_PAINT), 1);
  HDC dc = GetDC(doc);
  EXPECT_EQ(GetPixel(dc, 5, 5), kDocumentBackground);
  ReleaseDC(doc, dc);
}

TEST_F(WindowsTest, HookedActionRunsInsideTheDocumentProcedure) {
  HWND doc = host.OpenDocument("Doc");
  const UINT click = WM_USER + 5;
  int runs = 0;
  WNDPROC inside = nullptr;
  HostWindows::OnMessage(doc, click, [&] {
    ++runs;
    // Like a script that stops the movie: the subclass goes while it runs.
    inside = reinterpret_cast<WNDPROC>(GetWindowLongA(doc, GWL_WNDPROC));
    SetWindowLongA(doc, GWL_WNDPROC, reinterpret_cast<LONG>(saved));
    SendMessageA(doc, WM_USER + 6, 0, 0);  // re-entrant message
  });
  saved = reinterpret_cast<WNDPROC>(
      SetWindowLongA(doc, GWL_WNDPROC, reinterpret_cast<LONG>(Subclass)));
  PostMessageA(doc, click, 0, 0);
  PostMessageA(doc, click, 0, 0);
  host.Pump(50);
  EXPECT_EQ(runs, 1);  // once
  EXPECT_EQ(inside, Subclass);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongA(doc, GWL_WNDPROC)),
            HostWindows::DocumentProc());
  EXPECT_EQ(HostWindows::CountSeen(doc, click), 2);
  EXPECT_EQ(HostWindows::CountSeen(doc, WM_USER + 6), 1);

  int every = 0;
  HostWindows::OnMessage(doc, click, [&] { ++every; }, false);
  SendMessageA(doc, click, 0, 0);
  SendMessageA(doc, click, 0, 0);
  EXPECT_EQ(every, 2);
}

TEST_F(WindowsTest, PumpUntilStopsWhenDoneOrTimedOut) {
  HWND doc = host.OpenDocument("Doc");
  HostWindows::ClearSeen(doc);
  PostMessageA(doc, WM_USER + 1, 0, 0);
  EXPECT_TRUE(host.PumpUntil([&] { return HostWindows::CountSeen(doc, WM_USER + 1) == 1; }, 1000));
  DWORD start = GetTickCount();
  EXPECT_FALSE(host.PumpUntil([] { return false; }, 60));
  DWORD took = GetTickCount() - start;
  EXPECT_GE(took, 50u) << "gave up before its time";
  EXPECT_LT(took, 30000u) << "kept pumping long past its time";
}

TEST_F(WindowsTest, DestroyTakesAllWindows) {
  HWND frame = host.Frame();
  HWND doc = host.OpenDocument("Doc");
  host.Destroy();
  EXPECT_FALSE(IsWindow(frame));
  EXPECT_FALSE(IsWindow(doc));
  EXPECT_EQ(host.Frame(), nullptr);
  EXPECT_EQ(host.OpenDocument("Late"), nullptr);
  ASSERT_TRUE(host.Create("FileMaker"));
  EXPECT_EQ(Title(host.Frame()), "FileMaker");
}

}  // namespace
