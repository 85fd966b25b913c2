// What ffprobe says of a test movie: tests/media/make_media.sh leaves its flat
// output (key=value, strings quoted) beside each file as NAME.probe.
#pragma once
#include <fstream>
#include <map>
#include <string>

inline std::map<std::string, std::string> ReadProbe(const std::string& probeFile) {
  std::map<std::string, std::string> values;
  std::ifstream in(probeFile);
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    values[line.substr(0, eq)] = value;
  }
  return values;
}
