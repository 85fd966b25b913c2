#include "standin/message_boxes.h"

#include <set>

namespace standin {
namespace {

// The innermost dismisser of this thread; hooks chain to outer ones.
thread_local MessageBoxDismisser* current = nullptr;
// Boxes already answered, so a box activated twice is counted once.
thread_local std::set<HWND>* answered = nullptr;

const int kButtons[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO};

// The box may not be shown yet while it activates: look at the controls' own
// visibility bit, not at IsWindowVisible.
bool Shown(HWND w) { return (GetWindowLongA(w, GWL_STYLE) & WS_VISIBLE) != 0; }

bool HasButton(HWND box, int id) {
  HWND b = GetDlgItem(box, id);
  return b && Shown(b);
}

UINT ButtonsOf(HWND box) {
  bool ok = HasButton(box, IDOK), cancel = HasButton(box, IDCANCEL);
  bool abort = HasButton(box, IDABORT), retry = HasButton(box, IDRETRY);
  bool yes = HasButton(box, IDYES), no = HasButton(box, IDNO);
  if (abort) return MB_ABORTRETRYIGNORE;
  if (yes && no) return cancel ? MB_YESNOCANCEL : MB_YESNO;
  if (retry) return MB_RETRYCANCEL;
  if (ok && cancel) return MB_OKCANCEL;
  return MB_OK;
}

BOOL CALLBACK FindIcon(HWND child, LPARAM lp) {
  LONG style = GetWindowLongA(child, GWL_STYLE);
  if ((style & SS_TYPEMASK) != SS_ICON || !Shown(child)) return TRUE;
  HICON icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
  if (!icon) return TRUE;
  struct Known {
    LPCSTR id;
    UINT style;
  } known[] = {{IDI_HAND, MB_ICONHAND},
               {IDI_QUESTION, MB_ICONQUESTION},
               {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
               {IDI_ASTERISK, MB_ICONASTERISK}};
  for (const Known& k : known) {
    if (LoadIconA(nullptr, k.id) == icon) {
      *reinterpret_cast<UINT*>(lp) = k.style;
      return FALSE;
    }
  }
  return TRUE;
}

std::string TextOf(HWND w) {
  char text[4096] = "";
  GetWindowTextA(w, text, sizeof text);
  return text;
}

bool IsMessageBox(HWND w) {
  char name[16] = "";
  GetClassNameA(w, name, sizeof name);
  return lstrcmpA(name, "#32770") == 0;
}

}  // namespace

MessageBoxDismisser::MessageBoxDismisser() {
  outer_ = current;
  if (!answered) answered = new std::set<HWND>();
  hook_ = SetWindowsHookExA(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
  current = this;
}

MessageBoxDismisser::~MessageBoxDismisser() {
  if (hook_) UnhookWindowsHookEx(hook_);
  current = outer_;
}

LRESULT CALLBACK MessageBoxDismisser::CbtProc(int code, WPARAM wp, LPARAM lp) {
  MessageBoxDismisser* self = current;
  HWND w = reinterpret_cast<HWND>(wp);
  if (self && code == HCBT_ACTIVATE && IsMessageBox(w) && !answered->count(w)) {
    answered->insert(w);
    self->Dismiss(w);
  } else if (code == HCBT_DESTROYWND && answered) {
    answered->erase(w);
  }
  return CallNextHookEx(self ? self->hook_ : nullptr, code, wp, lp);
}

void MessageBoxDismisser::Dismiss(HWND box) {
  ++count_;
  caption_ = TextOf(box);
  HWND text = GetDlgItem(box, 0xFFFF);
  text_ = text ? TextOf(text) : std::string();
  UINT icon = 0;
  EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&icon));
  style_ = ButtonsOf(box) | icon;
  owner_ = GetWindow(box, GW_OWNER);

  int answer = kButtons[0];
  if (!HasButton(box, IDOK)) {
    for (int id : kButtons)
      if (HasButton(box, id)) {
        answer = id;
        break;
      }
  }
  // Posted: the box is still being activated inside this hook.
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
}

}  // namespace standin
