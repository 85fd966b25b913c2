#include "standin/host_windows.h"

#include <map>

namespace standin {
namespace {

const char kFrameClass[] = "VantoroStandinFrame";
const char kDocumentClass[] = "VantoroStandinDocument";
const UINT kFirstChildId = 50000;

struct Hook {
  UINT msg;
  std::function<void()> action;
  bool once;
};

struct DocumentState {
  std::vector<UINT> seen;
  std::vector<Hook> hooks;
  bool gone = false;
};

std::map<HWND, DocumentState>& Documents() {
  static std::map<HWND, DocumentState> documents;
  return documents;
}

HBRUSH BackgroundBrush() {
  static HBRUSH brush = CreateSolidBrush(kDocumentBackground);
  return brush;
}

LRESULT CALLBACK FrameWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  HWND client = reinterpret_cast<HWND>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  return DefFrameProcA(hwnd, client, msg, wp, lp);
}

LRESULT CALLBACK DocumentWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  DocumentState& state = Documents()[hwnd];
  if (state.gone) state = DocumentState();  // a new window under an old handle
  state.seen.push_back(msg);

  for (size_t i = 0; i < state.hooks.size(); ++i) {
    if (state.hooks[i].msg != msg) continue;
    // The action may call the plug-in, which may hook, close or repaint this
    // very window: take it out of the list before it runs.
    std::function<void()> action = state.hooks[i].action;
    if (state.hooks[i].once) state.hooks.erase(state.hooks.begin() + static_cast<long>(i));
    action();
    break;
  }
  if (msg == WM_NCDESTROY) Documents()[hwnd].gone = true;

  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    FillRect(dc, &ps.rcPaint, BackgroundBrush());
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefMDIChildProcA(hwnd, msg, wp, lp);
}

bool RegisterClasses() {
  static bool done = false;
  if (done) return true;
  HINSTANCE instance = GetModuleHandleA(nullptr);

  WNDCLASSA frame = {};
  frame.lpfnWndProc = FrameWindowProc;
  frame.hInstance = instance;
  frame.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
  frame.lpszClassName = kFrameClass;

  WNDCLASSA document = {};
  document.style = CS_HREDRAW | CS_VREDRAW;
  document.lpfnWndProc = DocumentWindowProc;
  document.hInstance = instance;
  document.hCursor = frame.hCursor;
  document.hbrBackground = BackgroundBrush();
  document.lpszClassName = kDocumentClass;

  if (!RegisterClassA(&frame) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  if (!RegisterClassA(&document) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  done = true;
  return true;
}

bool IsDocument(HWND hwnd) {
  char name[64] = "";
  GetClassNameA(hwnd, name, sizeof name);
  return lstrcmpA(name, kDocumentClass) == 0;
}

}  // namespace

HostWindows::~HostWindows() { Destroy(); }

bool HostWindows::Create(const std::string& frameTitle) {
  Destroy();
  if (!RegisterClasses()) return false;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  frame_ = CreateWindowExA(0, kFrameClass, frameTitle.c_str(),
                           WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                           900, 700, nullptr, nullptr, instance, nullptr);
  if (!frame_) return false;

  CLIENTCREATESTRUCT ccs = {};
  ccs.hWindowMenu = nullptr;
  ccs.idFirstChild = kFirstChildId;
  RECT area;
  GetClientRect(frame_, &area);
  client_ = CreateWindowExA(WS_EX_CLIENTEDGE, "MDICLIENT", nullptr,
                            WS_CHILD | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL | WS_VISIBLE, 0,
                            0, area.right, area.bottom, frame_, nullptr, instance, &ccs);
  if (!client_) {
    Destroy();
    return false;
  }
  SetWindowLongPtrA(frame_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(client_));
  ShowWindow(frame_, SW_SHOW);
  UpdateWindow(frame_);
  SetForegroundWindow(frame_);
  return true;
}

void HostWindows::Destroy() {
  if (frame_ && IsWindow(frame_)) DestroyWindow(frame_);
  frame_ = nullptr;
  client_ = nullptr;
}

HWND HostWindows::OpenDocument(const std::string& title, int width, int height) {
  if (!client_) return nullptr;
  MDICREATESTRUCTA mcs = {};
  mcs.szClass = kDocumentClass;
  mcs.szTitle = title.c_str();
  mcs.hOwner = GetModuleHandleA(nullptr);
  mcs.x = CW_USEDEFAULT;
  mcs.y = CW_USEDEFAULT;
  mcs.cx = width;
  mcs.cy = height;
  HWND doc = reinterpret_cast<HWND>(
      SendMessageA(client_, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&mcs)));
  if (doc) UpdateWindow(doc);
  return doc;
}

void HostWindows::CloseDocument(HWND doc) {
  if (client_ && doc) SendMessageA(client_, WM_MDIDESTROY, reinterpret_cast<WPARAM>(doc), 0);
}

void HostWindows::BringToFront(HWND doc) {
  if (client_ && doc) SendMessageA(client_, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(doc), 0);
}

HWND HostWindows::Frontmost() const {
  return client_ ? GetWindow(client_, GW_CHILD) : nullptr;
}

HWND HostWindows::FindDocument(const std::string& title) const {
  if (!client_) return nullptr;
  for (HWND w = GetWindow(client_, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
    char text[256] = "";
    GetWindowTextA(w, text, sizeof text);
    if (IsDocument(w) && title == text) return w;
  }
  return nullptr;
}

void HostWindows::SetFrameTitle(const std::string& title) {
  if (frame_) SetWindowTextA(frame_, title.c_str());
}

void HostWindows::Pump(int milliseconds) {
  PumpUntil([] { return false; }, milliseconds);
}

bool HostWindows::PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) return done();
      if (!client_ || !TranslateMDISysAccel(client_, &m)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
      }
      if (done()) return true;
    }
    if (done()) return true;
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= static_cast<DWORD>(timeoutMs)) return false;
    DWORD wait = static_cast<DWORD>(timeoutMs) - elapsed;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, wait < 10 ? wait : 10, QS_ALLINPUT);
  }
}

WNDPROC HostWindows::DocumentProc() { return DocumentWindowProc; }

std::vector<UINT> HostWindows::MessagesSeen(HWND doc) {
  auto it = Documents().find(doc);
  return it == Documents().end() ? std::vector<UINT>() : it->second.seen;
}

int HostWindows::CountSeen(HWND doc, UINT msg) {
  int n = 0;
  for (UINT m : MessagesSeen(doc)) n += m == msg;
  return n;
}

void HostWindows::ClearSeen(HWND doc) {
  auto it = Documents().find(doc);
  if (it != Documents().end()) it->second.seen.clear();
}

void HostWindows::OnMessage(HWND doc, UINT msg, std::function<void()> action, bool once) {
  Documents()[doc].hooks.push_back(Hook{msg, std::move(action), once});
}

}  // namespace standin
