#include "standin/script_runner.h"

#include <stdio.h>

namespace standin {

// Writes the clipboard's item of a registered format to a file; answers its
// size, or -1.
long SaveClipboardItem(const std::string& format, const std::string& file) {
  UINT id = RegisterClipboardFormatA(format.c_str());
  if (!id || !OpenClipboard(nullptr)) return -1;
  long size = -1;
  if (HANDLE block = GetClipboardData(id)) {
    const void* bytes = GlobalLock(block);
    FILE* out = bytes ? fopen(file.c_str(), "wb") : nullptr;
    if (out) {
      size_t n = GlobalSize(block);
      if (fwrite(bytes, 1, n, out) == n) size = static_cast<long>(n);
      fclose(out);
    }
    if (bytes) GlobalUnlock(block);
  }
  CloseClipboard();
  return size;
}

bool ScriptRunner::Run(const Script& script) {
  for (const std::string& e : script.errors) {
    err_ << e << "\n";
    ++failures_;
  }
  if (!script.errors.empty()) return false;
  // Flushed after every step, so that whoever reads the transcript through a
  // pipe sees each line as it happens.
  for (const ScriptStep& step : script.steps) {
    RunStep(step);
    out_.flush();
  }
  return failures_ == 0;
}

void ScriptRunner::Note(const std::string& text) {
  if (!quiet_) out_ << text << "\n";
}

void ScriptRunner::Fail(const ScriptStep& step, const std::string& why) {
  err_ << "line " << step.line << ": " << why << "\n";
  ++failures_;
}

void ScriptRunner::RunStep(const ScriptStep& step) {
  using K = ScriptStep::Kind;
  switch (step.kind) {
    case K::kCall: {
      int number = plugin_.NumberOf(step.name);
      if (number < 0)
        Fail(step, step.name + ": the plug-in has no function of this name");
      else
        RunCall(step.name, number, step.text);
      break;
    }
    case K::kCallNumber:
      RunCall("call " + std::to_string(step.number), static_cast<int>(step.number), step.text);
      break;
    case K::kWait:
      Note("(wait " + std::to_string(step.number) + " ms)");
      windows_.Pump(static_cast<int>(step.number));
      break;
    case K::kOpen:
      Note("(open " + Quoted(step.text) + ")");
      if (!windows_.OpenDocument(step.text)) Fail(step, "cannot open a document window");
      break;
    case K::kClose: {
      HWND doc = step.text.empty() ? windows_.Frontmost() : windows_.FindDocument(step.text);
      Note("(close" + (step.text.empty() ? std::string() : " " + Quoted(step.text)) + ")");
      if (!doc)
        Fail(step, "no such document window");
      else
        windows_.CloseDocument(doc);
      break;
    }
    case K::kFront: {
      HWND doc = windows_.FindDocument(step.text);
      if (step.text.empty() && windows_.Frontmost())
        doc = GetWindow(windows_.Frontmost(), GW_HWNDLAST);
      Note("(front" + (step.text.empty() ? std::string() : " " + Quoted(step.text)) + ")");
      if (!doc)
        Fail(step, "no such document window");
      else
        windows_.BringToFront(doc);
      break;
    }
    case K::kTitle:
      Note("(title " + Quoted(step.text) + ")");
      windows_.SetFrameTitle(step.text);
      break;
    case K::kIdle:
      Note("(idle)");
      plugin_.Idle();
      break;
    case K::kEcho:
      out_ << step.text << "\n";
      break;
    case K::kSaveClipboard: {
      long saved = SaveClipboardItem(step.name, step.text);
      if (saved < 0)
        Fail(step, "the clipboard holds no " + step.name + " item, or " + step.text + " cannot be written");
      else
        Note("(clipboard " + step.name + ": " + std::to_string(saved) + " bytes to " + step.text + ")");
      break;
    }
  }
}

void ScriptRunner::RunCall(const std::string& label, int number, const std::string& args) {
  int boxesBefore = boxes_ ? boxes_->Count() : 0;
  bool answered = false;
  std::string answer = plugin_.Call(number, args, &answered);
  const CallReport& report = plugin_.LastCall();
  if (quiet_)
    out_ << answer << "\n";
  else
    out_ << FormatCall(label, args, answer, answered) << "\n";

  if (boxes_ && boxes_->Count() != boxesBefore)
    Note("  ! message box " + Quoted(boxes_->LastText()) + " (caption " +
         Quoted(boxes_->LastCaption()) + ")");
  if (report.parameterLocks) Note("  ! parameter handle left locked");
  if (report.resultLocks) Note("  ! result handle left locked");
  if (report.parameterChanged) Note("  ! parameter handle changed");
  if (report.recordChanged) Note("  ! call record changed");
}

}  // namespace standin
