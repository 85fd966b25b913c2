// Vantoro-GetVideoFrame with the real clipboard.
#include <gtest/gtest.h>

#include <thread>

#include "clipboard_text.h"
#include "plugin_fixture.h"

namespace {

using fixture::PluginTest;

// Holds the clipboard open from another thread, for a window of its own, as
// another program would, until released.
class ClipboardHolder {
 public:
  ClipboardHolder()
      : opened_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this] {
      HWND window = CreateWindowA("STATIC", "holder", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
      BOOL ok = OpenClipboard(window);
      SetEvent(opened_);
      WaitForSingleObject(release_, 10000);
      if (ok) CloseClipboard();
      DestroyWindow(window);
    });
    WaitForSingleObject(opened_, 10000);
  }
  ~ClipboardHolder() {
    Release();
    CloseHandle(opened_);
    CloseHandle(release_);
  }
  ClipboardHolder(const ClipboardHolder&) = delete;
  ClipboardHolder& operator=(const ClipboardHolder&) = delete;
  void Release() {
    SetEvent(release_);
    if (thread_.joinable()) thread_.join();
  }

 private:
  HANDLE opened_;
  HANDLE release_;
  std::thread thread_;
};

class FrameCapture : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    picture.resize(1000);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i * 7 + 3);
    engine->SetPictureBytes(picture);
    engine->SetPictureSize(320, 240);
    PutText("before");
  }

  void TearDown() override {
    EXPECT_EQ(engine->OutstandingPictures(), 0u) << "picture not released";
    EXPECT_EQ(engine->OpenComponents(), 0u) << "exporter not closed";
    // Whatever happened, the clipboard is closed again.
    EXPECT_TRUE(OpenClipboard(nullptr));
    CloseClipboard();
    PluginTest::TearDown();
  }

  static void PutText(const char* text) { ASSERT_TRUE(PutClipboardText(text)); }
  static std::string Text() { return ClipboardText(); }


  static std::vector<uint8_t> Item(const char* format) {
    std::vector<uint8_t> bytes;
    UINT id = RegisterClipboardFormatA(format);
    if (!OpenClipboard(nullptr)) return bytes;
    if (HANDLE block = GetClipboardData(id)) {
      auto* p = static_cast<const uint8_t*>(GlobalLock(block));
      bytes.assign(p, p + GlobalSize(block));
      GlobalUnlock(block);
    }
    CloseClipboard();
    return bytes;
  }

  static std::vector<UINT> Formats() {
    std::vector<UINT> formats;
    if (!OpenClipboard(nullptr)) return formats;
    for (UINT f = EnumClipboardFormats(0); f; f = EnumClipboardFormats(f)) formats.push_back(f);
    CloseClipboard();
    return formats;
  }

  std::string Capture() { return Call("Vantoro-GetVideoFrame"); }

  std::vector<uint8_t> picture;
};

TEST_F(FrameCapture, PlacesThreeItemsWithExactBytes) {
  ASSERT_EQ(Play(), "");
  engine->SetMovieTimeFromTest(engine->CurrentMovie(), 1500);
  engine->ClearLog();
  bool touched = true;
  plugin.Call(plugin.NumberOf("Vantoro-GetVideoFrame"), "", &touched);
  EXPECT_FALSE(touched) << "success answers nothing";

  EXPECT_EQ(Item("Mac-PICT"), picture) << "the picture's bytes, no prefix";
  EXPECT_EQ(Item("Mac-SIZE"), (std::vector<uint8_t>{0x04, 0, 0, 0, 0x01, 0x40, 0x00, 0xF0}));
  EXPECT_EQ(Item("Mac-LIST"), (std::vector<uint8_t>{0x08, 0, 0, 0, 'S', 'I', 'Z', 'E', 'P', 'I', 'C', 'T'}));
  const std::vector<UINT> order = {RegisterClipboardFormatA("Mac-PICT"), RegisterClipboardFormatA("Mac-SIZE"),
                                   RegisterClipboardFormatA("Mac-LIST")};
  std::vector<UINT> formats = Formats();
  formats.erase(std::remove_if(formats.begin(), formats.end(),
                               [&](UINT f) { return std::find(order.begin(), order.end(), f) == order.end(); }),
                formats.end());
  EXPECT_EQ(formats, order) << "placed in this order, the old contents emptied";
  EXPECT_EQ(Text(), "<none>");

  auto pict = engine->CallsOf(kSel_GetMoviePict);
  ASSERT_EQ(pict.size(), 1u);
  EXPECT_EQ(pict[0].args[1], 1500u) << "the frame at the current time";
  auto requests = engine->ComponentRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(std::vector<uint8_t>(requests[0].bytes, requests[0].bytes + 4), (std::vector<uint8_t>{0, 4, 47, 0}));
  EXPECT_EQ(std::vector<uint8_t>(requests[1].bytes, requests[1].bytes + 4), (std::vector<uint8_t>{0, 4, 59, 0}));
  auto open = engine->CallsOf(kSel_OpenADefaultComponent);
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0].args[0], GraphicsExporterComponentType);
  EXPECT_EQ(open[0].args[1], kQTFileTypePicture);
}

TEST_F(FrameCapture, OddSizesUseTheLow16BitsBigEndian) {
  engine->SetPictureSize(1, 0x1234);
  ASSERT_EQ(Play(), "");
  ASSERT_EQ(Capture(), "");
  EXPECT_EQ(Item("Mac-SIZE"), (std::vector<uint8_t>{0x04, 0, 0, 0, 0x00, 0x01, 0x12, 0x34}));
}

TEST_F(FrameCapture, ArgumentAndMovieChecks) {
  EXPECT_EQ(Call("Vantoro-GetVideoFrame", "x"), "70005");
  EXPECT_EQ(Capture(), "74005");
  EXPECT_EQ(Text(), "before");
}

TEST_F(FrameCapture, NoPicture) {
  ASSERT_EQ(Play(), "");
  engine->FailAt(kSel_GetMoviePict, 1, 0);
  EXPECT_EQ(Capture(), "74006");
  EXPECT_EQ(Text(), "before");
  EXPECT_EQ(engine->Count(kSel_KillPicture), 0u);
}

TEST_F(FrameCapture, ExporterFailuresLeaveTheClipboard) {
  ASSERT_EQ(Play(), "");
  engine->FailAt(kSel_OpenADefaultComponent, 1, static_cast<uint32_t>(-2003));
  EXPECT_EQ(Capture(), "73003");
  EXPECT_EQ(engine->Count(kSel_CloseComponent), 0u) << "nothing opened, nothing to close";
  EXPECT_EQ(Text(), "before");
  for (int failing : {1, 2}) {
    engine->ClearLog();
    engine->FailAt(kSel_ComponentRequest, failing, static_cast<uint32_t>(-50));
    EXPECT_EQ(Capture(), "73003") << failing;
    EXPECT_EQ(engine->Count(kSel_ComponentRequest), static_cast<size_t>(failing));
    EXPECT_EQ(engine->Count(kSel_CloseComponent), 1u);
    EXPECT_EQ(engine->Count(kSel_KillPicture), 1u);
    EXPECT_EQ(Text(), "before");
  }
}

TEST_F(FrameCapture, BlockThatCannotBeAllocated) {
  ASSERT_EQ(Play(), "");
  engine->FailAt(kSel_GetHandleSize, 1, 0x7FFFFFF0);
  EXPECT_EQ(Capture(), "73003");
  EXPECT_TRUE(Item("Mac-PICT").empty());
  engine->FailAt(kSel_GetHandleSize, 1, 0);
  EXPECT_EQ(Capture(), "73003") << "an empty picture is no picture";
}

TEST_F(FrameCapture, ClipboardHeldByAnotherThread) {
  ASSERT_EQ(Play(), "");
  ClipboardHolder holder;
  EXPECT_EQ(Capture(), "73003") << "a busy clipboard is reported, not answered as success";
  holder.Release();
  EXPECT_EQ(Text(), "before");
}

// The clipboard was busy when the plug-in was initialised: the formats are
// declared at the first capture instead.
TEST_F(FrameCapture, FormatsDeclaredLateWhenTheClipboardWasBusy) {
  plugin.Shutdown();
  plugin.Unload();
  ClipboardHolder holder;
  ASSERT_TRUE(plugin.Load(testengine::BesideProgram("Vantoro.fmx")));
  EXPECT_EQ(plugin.Initialise(), 4);
  holder.Release();
  ASSERT_EQ(Play(), "");
  EXPECT_EQ(Capture(), "");
  EXPECT_EQ(Item("Mac-PICT"), picture);
  EXPECT_EQ(Item("Mac-LIST").size(), 12u);
}

TEST_F(FrameCapture, DoesNotMoveOrStopTheMovie) {
  ASSERT_EQ(Play(), "");
  Movie movie = engine->CurrentMovie();
  Poke();
  engine->SetMovieTimeFromTest(movie, 2000);
  TEMovieState before = engine->State(movie);
  engine->ClearLog();
  ASSERT_EQ(Capture(), "");
  TEMovieState after = engine->State(movie);
  EXPECT_EQ(after.time, before.time);
  EXPECT_EQ(after.rate, before.rate);
  EXPECT_EQ(after.rate, 0x10000);
  for (uint32_t s : {kSel_SetMovieTimeValue, kSel_SetMovieRate, kSel_StopMovie}) EXPECT_EQ(engine->Count(s), 0u);
  // And paused.
  ASSERT_EQ(Call("Vantoro-SetRate", "0"), "");
  ASSERT_EQ(Capture(), "");
  EXPECT_EQ(engine->State(movie).time, 2000);
}

}  // namespace
