// Runs a parsed host script against a plug-in and the host's windows and
// writes a transcript: each call with its answer, and a line starting with
// "  ! " for anything the plug-in did wrong on the way (a handle left
// locked, a changed call record, a message box).
//
//   ScriptRunner runner(plugin, windows, std::cout, std::cerr);
//   runner.SetQuiet(true);        // answers and echo texts only
//   runner.SetMessageBoxes(&dismisser);
//   bool ok = runner.Run(script); // false if a step could not be done
#pragma once
#include <ostream>

#include "standin/host_windows.h"
#include "standin/message_boxes.h"
#include "standin/plugin.h"
#include "standin/script.h"

namespace standin {

class ScriptRunner {
 public:
  ScriptRunner(Plugin& plugin, HostWindows& windows, std::ostream& out, std::ostream& err)
      : plugin_(plugin), windows_(windows), out_(out), err_(err) {}

  void SetQuiet(bool quiet) { quiet_ = quiet; }
  void SetMessageBoxes(const MessageBoxDismisser* boxes) { boxes_ = boxes; }

  bool Run(const Script& script);
  int Failures() const { return failures_; }

 private:
  void RunStep(const ScriptStep& step);
  void RunCall(const std::string& label, int number, const std::string& args);
  void Note(const std::string& text);
  void Fail(const ScriptStep& step, const std::string& why);

  Plugin& plugin_;
  HostWindows& windows_;
  std::ostream& out_;
  std::ostream& err_;
  const MessageBoxDismisser* boxes_ = nullptr;
  bool quiet_ = false;
  int failures_ = 0;
};

}  // namespace standin
