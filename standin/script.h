// Host scripts: one step a line.
//
//   # comment            (blank lines are skipped too)
//   Vantoro-Xyz text     call a function by name; the text after the one
//                        space is its argument text, byte for byte
//   call N text          call function number N (any number, even unused)
//   wait N               run the message loop N ms
//   open Title           open a document window (frontmost)
//   close [Title]        close the frontmost document (or the one titled)
//   front [Title]        bring a document to the front (default: the one at
//                        the back)
//   title Text           set the main window's title
//   idle                 give the plug-in idle time
//   echo text            print text
//   clipboard FORMAT FILE  save the clipboard's item of that registered format
//                        (e.g. Mac-PICT) to FILE, byte for byte
//
// Leading blanks and a line's final CR are dropped. Free of windows.h.
#pragma once
#include <string>
#include <vector>

namespace standin {

struct ScriptStep {
  enum class Kind { kCall, kCallNumber, kWait, kOpen, kClose, kFront, kTitle, kIdle, kEcho, kSaveClipboard };
  Kind kind = Kind::kEcho;
  int line = 0;
  std::string name;  // function name of kCall, format of kSaveClipboard
  std::string text;  // argument text, title, echo text or file name
  long number = 0;   // function number of kCallNumber, milliseconds of kWait
};

struct Script {
  std::vector<ScriptStep> steps;
  std::vector<std::string> errors;  // "line N: ..." for lines not understood
};

Script ParseScript(const std::string& source);

// Bytes as a double-quoted text: printable ASCII as is, '"' and '\' escaped,
// the rest as \xNN.
std::string Quoted(const std::string& bytes);

// One transcript line for a call: `Vantoro-Version platform -> "Windows"`,
// `-> "" (empty)` for an empty answer, `-> (no answer)` when the plug-in did
// not touch the result.
std::string FormatCall(const std::string& name, const std::string& args,
                       const std::string& answer, bool answered);

}  // namespace standin
