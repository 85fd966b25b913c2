// Message boxes that close themselves: while a MessageBoxDismisser lives,
// every message box shown on its thread is answered as soon as it becomes
// active (OK, or its first button when it has no OK), and what it showed is
// kept: Count(), LastText(), LastCaption(), LastStyle(), LastOwner().
// LastStyle() is read back from the box itself: its buttons (MB_OK,
// MB_OKCANCEL, ...) and its icon (MB_ICONEXCLAMATION, ...).
#pragma once
#include <windows.h>

#include <string>

namespace standin {

class MessageBoxDismisser {
 public:
  MessageBoxDismisser();
  ~MessageBoxDismisser();
  MessageBoxDismisser(const MessageBoxDismisser&) = delete;
  MessageBoxDismisser& operator=(const MessageBoxDismisser&) = delete;

  bool Active() const { return hook_ != nullptr; }
  int Count() const { return count_; }
  std::string LastText() const { return text_; }
  std::string LastCaption() const { return caption_; }
  UINT LastStyle() const { return style_; }
  HWND LastOwner() const { return owner_; }

 private:
  static LRESULT CALLBACK CbtProc(int code, WPARAM wp, LPARAM lp);
  void Dismiss(HWND box);

  HHOOK hook_ = nullptr;
  MessageBoxDismisser* outer_ = nullptr;
  int count_ = 0;
  std::string text_;
  std::string caption_;
  UINT style_ = 0;
  HWND owner_ = nullptr;
};

}  // namespace standin
