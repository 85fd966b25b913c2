// vantoro-host.exe: plays the host for a plug-in. Creates the main window
// with one document window, loads and initialises the plug-in, runs a host
// script, shuts the plug-in down and reports what the plug-in left behind.
//
//   vantoro-host.exe [--plugin PATH] [--host-version N] [--keep-open]
//                    [--quiet] SCRIPT|-
//
// Exit codes: 0 done, 1 a script line failed or the plug-in leaked or misused
// memory, 2 bad command line, 3 plug-in not loadable, 4 script unreadable.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>

#include "standin/handles.h"
#include "standin/host_windows.h"
#include "standin/message_boxes.h"
#include "standin/plugin.h"
#include "standin/script.h"
#include "standin/script_runner.h"

namespace {

const char kUsage[] =
    "usage: vantoro-host.exe [--plugin PATH] [--host-version N] [--keep-open] [--quiet] SCRIPT\n"
    "       SCRIPT may be - for standard input\n";

std::string OwnFolder() {
  char path[MAX_PATH] = "";
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string s(path, n);
  size_t slash = s.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : s.substr(0, slash + 1);
}

// Under Wine's null graphics driver nobody could close the window.
bool Headless() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Drivers", 0, KEY_READ, &key) != 0)
    return false;
  char value[32] = "";
  DWORD size = sizeof value - 1;
  bool null = RegQueryValueExA(key, "Graphics", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(value), &size) == 0 &&
              lstrcmpiA(value, "null") == 0;
  RegCloseKey(key);
  return null;
}

bool ReadAll(const std::string& name, std::string* text) {
  if (name == "-") {
    _setmode(_fileno(stdin), _O_BINARY);
    text->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return true;
  }
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  std::string pluginPath, scriptName;
  int hostVersion = 50;
  bool keepOpen = false, quiet = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--plugin" && i + 1 < argc) {
      pluginPath = argv[++i];
    } else if (a == "--host-version" && i + 1 < argc) {
      hostVersion = atoi(argv[++i]);
    } else if (a == "--keep-open") {
      keepOpen = true;
    } else if (a == "--quiet") {
      quiet = true;
    } else if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (scriptName.empty() && (a == "-" || a.compare(0, 2, "--") != 0)) {
      scriptName = a;
    } else {
      std::cerr << kUsage;
      return 2;
    }
  }
  if (scriptName.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  if (pluginPath.empty()) pluginPath = OwnFolder() + "Vantoro.fmx";

  std::string source;
  if (!ReadAll(scriptName, &source)) {
    std::cerr << "cannot read script " << scriptName << "\n";
    return 4;
  }
  standin::Script script = standin::ParseScript(source);
  if (!script.errors.empty()) {
    for (const std::string& e : script.errors) std::cerr << scriptName << ": " << e << "\n";
    return 1;
  }

  if (keepOpen && Headless()) {
    std::cerr << "no display: --keep-open ignored\n";
    keepOpen = false;
  }
  std::unique_ptr<standin::MessageBoxDismisser> boxes;
  if (!keepOpen) boxes.reset(new standin::MessageBoxDismisser());

  standin::HostWindows windows;
  if (!windows.Create() || !windows.OpenDocument("Untitled")) {
    std::cerr << "cannot create the host's windows\n";
    return 3;
  }
  windows.Pump(0);

  standin::Plugin plugin;
  if (!plugin.Load(pluginPath)) {
    std::cerr << plugin.LoadError() << "\n";
    return 3;
  }
  int32_t init = plugin.Initialise(static_cast<int16_t>(hostVersion));
  if (!quiet) {
    std::cout << "initialise (host version " << hostVersion << ") -> ";
    if (init == standin::kNotWritten)
      std::cout << "(no answer)\n";
    else
      std::cout << init << "\n";
  }

  standin::ScriptRunner runner(plugin, windows, std::cout, std::cerr);
  runner.SetQuiet(quiet);
  runner.SetMessageBoxes(boxes.get());
  bool ok = runner.Run(script);

  if (keepOpen) {
    std::cout.flush();
    while (IsWindow(windows.Frame())) windows.Pump(100);
  }
  plugin.Shutdown();
  if (!quiet) std::cout << "shutdown\n";
  plugin.Unload();
  windows.Destroy();

  // What the plug-in left behind in the host's memory.
  struct {
    int count;
    const char* what;
  } leftovers[] = {{standin::OutstandingBlocks(), "blocks never disposed"},
                   {standin::BadDisposals(), "disposals of unknown blocks"},
                   {standin::BadHandleUses(), "uses of unknown handles"},
                   {standin::UnbalancedUnlocks(), "unlocks of unlocked handles"},
                   {standin::Overruns(), "writes past the end of a block or handle"}};
  for (const auto& l : leftovers) {
    if (l.count) {
      std::cerr << "host: " << l.count << " " << l.what << "\n";
      ok = false;
    }
  }
  std::cout.flush();
  return ok ? 0 : 1;
}
