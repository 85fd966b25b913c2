// The host's windows: a main frame window with an MDI client and document
// windows inside it, all on the thread that calls Create.
//
//   Create(frameTitle = "FileMaker Pro") / Destroy(); Frame(), MdiClient()
//   OpenDocument(title, w, h) -> the new, frontmost document window
//   CloseDocument(doc), BringToFront(doc), Frontmost(), SetFrameTitle(text)
//   Pump(ms), PumpUntil(done, timeoutMs): run the message loop
//   DocumentProc(): the document windows' own window procedure. It records
//     every message (MessagesSeen, CountSeen, ClearSeen), paints the client
//     area kDocumentBackground, and runs actions hooked with OnMessage when
//     their message arrives, before the default handling.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace standin {

constexpr COLORREF kDocumentBackground = RGB(240, 240, 240);

class HostWindows {
 public:
  HostWindows() = default;
  ~HostWindows();
  HostWindows(const HostWindows&) = delete;
  HostWindows& operator=(const HostWindows&) = delete;

  bool Create(const std::string& frameTitle = "FileMaker Pro");
  void Destroy();
  HWND Frame() const { return frame_; }
  HWND MdiClient() const { return client_; }

  HWND OpenDocument(const std::string& title, int width = 640, int height = 480);
  void CloseDocument(HWND doc);
  void BringToFront(HWND doc);
  // The document at the top of the MDI client's Z order, or null.
  HWND Frontmost() const;
  // The open document with this title, or null.
  HWND FindDocument(const std::string& title) const;
  void SetFrameTitle(const std::string& title);

  // Runs the message loop for this long (less if WM_QUIT comes).
  void Pump(int milliseconds);
  // Runs it until done() holds (checked after every message and at least
  // every 10 ms) or the time is up; answers done().
  bool PumpUntil(const std::function<bool()>& done, int timeoutMs);

  static WNDPROC DocumentProc();
  // Something else (the plug-in) has put its procedure on the document.
  static bool Subclassed(HWND doc) {
    return reinterpret_cast<WNDPROC>(GetWindowLongA(doc, GWL_WNDPROC)) != DocumentProc();
  }
  static std::vector<UINT> MessagesSeen(HWND doc);
  static int CountSeen(HWND doc, UINT msg);
  static void ClearSeen(HWND doc);
  // Runs action inside the document's own procedure when msg arrives there.
  static void OnMessage(HWND doc, UINT msg, std::function<void()> action, bool once = true);

 private:
  HWND frame_ = nullptr;
  HWND client_ = nullptr;
};

}  // namespace standin
