// Another program on the clipboard, for the fault tests:
//
//   clipboard_holder open|own READY RELEASE
//
// "open" opens the clipboard for a window of its own and keeps it open;
// "own" empties it, puts the text "held" on it and closes it again, so that
// its window stays the owner. Either way it then signals the event READY
// and waits for the event RELEASE (at most 20 s) before it lets go and
// exits.
#include <windows.h>
#include <stdint.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  bool keepOpen = strcmp(argv[1], "open") == 0;
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
  HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
  if (!ready || !release) return 3;

  HWND window = CreateWindowA("STATIC", "clipboard holder", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  if (!window || !OpenClipboard(window)) return 4;
  if (!keepOpen) {
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 5);
    memcpy(GlobalLock(block), "held", 5);
    GlobalUnlock(block);
    SetClipboardData(CF_TEXT, block);
    CloseClipboard();
  }
  SetEvent(ready);

  // Keep answering messages meanwhile, as a live program does.
  DWORD until = GetTickCount() + 20000;
  for (;;) {
    DWORD now = GetTickCount();
    if (static_cast<int32_t>(until - now) <= 0) break;
    DWORD woke = MsgWaitForMultipleObjects(1, &release, FALSE, until - now, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0) break;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  if (keepOpen) CloseClipboard();
  DestroyWindow(window);
  return 0;
}
