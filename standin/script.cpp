#include "standin/script.h"

#include <stdio.h>
#include <stdlib.h>

namespace standin {
namespace {

bool ReadNumber(const std::string& text, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  long v = strtol(text.c_str(), &end, 10);
  if (*end != '\0') return false;
  *value = v;
  return true;
}

bool IsPrintable(unsigned char c) { return c >= 0x20 && c < 0x7F; }

}  // namespace

Script ParseScript(const std::string& source) {
  Script script;
  size_t at = 0;
  int lineNumber = 0;
  while (at < source.size()) {
    size_t end = source.find('\n', at);
    if (end == std::string::npos) end = source.size();
    std::string line = source.substr(at, end - at);
    at = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();

    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    size_t space = line.find(' ', start);
    std::string word = line.substr(start, space == std::string::npos ? std::string::npos : space - start);
    std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);

    ScriptStep step;
    step.line = lineNumber;
    step.text = rest;
    auto fail = [&](const std::string& why) {
      script.errors.push_back("line " + std::to_string(lineNumber) + ": " + why);
    };
    using K = ScriptStep::Kind;
    if (word == "wait") {
      step.kind = K::kWait;
      if (!ReadNumber(rest, &step.number) || step.number < 0) {
        fail("wait needs a number of milliseconds");
        continue;
      }
    } else if (word == "call") {
      step.kind = K::kCallNumber;
      size_t gap = rest.find(' ');
      std::string number = rest.substr(0, gap);
      step.text = gap == std::string::npos ? std::string() : rest.substr(gap + 1);
      if (!ReadNumber(number, &step.number)) {
        fail("call needs a function number");
        continue;
      }
    } else if (word == "open") {
      step.kind = K::kOpen;
      if (step.text.empty()) step.text = "Untitled";
    } else if (word == "close") {
      step.kind = K::kClose;
    } else if (word == "front") {
      step.kind = K::kFront;
    } else if (word == "title") {
      step.kind = K::kTitle;
    } else if (word == "idle") {
      step.kind = K::kIdle;
    } else if (word == "echo") {
      step.kind = K::kEcho;
    } else if (word == "clipboard") {
      step.kind = K::kSaveClipboard;
      size_t gap = rest.find(' ');
      if (gap == std::string::npos || gap == 0 || gap + 1 == rest.size()) {
        fail("clipboard needs a format name and a file name");
        continue;
      }
      step.name = rest.substr(0, gap);
      step.text = rest.substr(gap + 1);
    } else if (word.find('-') != std::string::npos) {
      step.kind = K::kCall;
      step.name = word;
    } else {
      fail("unknown command \"" + word + "\"");
      continue;
    }
    script.steps.push_back(step);
  }
  return script;
}

std::string Quoted(const std::string& bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (IsPrintable(c)) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out + "\"";
}

std::string FormatCall(const std::string& name, const std::string& args,
                       const std::string& answer, bool answered) {
  std::string line = name;
  if (!args.empty()) {
    bool plain = args.front() != ' ' && args.back() != ' ';
    for (unsigned char c : args) plain = plain && IsPrintable(c);
    line += " " + (plain ? args : Quoted(args));
  }
  line += " -> ";
  if (!answered) return line + "(no answer)";
  if (answer.empty()) return line + "\"\" (empty)";
  return line + Quoted(answer);
}

}  // namespace standin
