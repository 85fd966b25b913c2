// The stand-in host with a real Vantoro.fmx loaded from a folder, and
// whichever engine sits beside it: a main window, one document window
// ("Movies") and a dismisser for message boxes. The tests that drive the
// plug-in and the media engine together (end to end, paths, damaged media,
// a missing engine, the soak phases) all start from one of these.
//
//   rig::HostRig r; r.Open(folder, &error); r.Call("Vantoro-Play", path);
//
// host_rig_fixture.h makes one a GoogleTest fixture.
#pragma once
#include <windows.h>

#include <string>

#include "standin/host_windows.h"
#include "standin/message_boxes.h"
#include "standin/plugin.h"
#include "tests/test_paths.h"

namespace rig {

class HostRig {
 public:
  // Opens the windows, then loads and initialises folder\Vantoro.fmx
  // (folder ends with a backslash).
  bool Open(const std::string& folder, std::string* error) {
    if (!windows.Create() || !(document = windows.OpenDocument("Movies"))) {
      *error = "cannot make the host's windows";
      return false;
    }
    if (!plugin.Load(folder + "Vantoro.fmx")) {
      *error = "cannot load the plug-in: " + plugin.LoadError();
      return false;
    }
    if (plugin.Initialise() != 4) {
      *error = "the plug-in refused to initialise";
      return false;
    }
    return true;
  }

  // Shuts the plug-in down as the host does at its end; safe after a failed
  // Open and when called twice.
  void Close() {
    if (plugin.Loaded()) {
      plugin.Shutdown();
      plugin.Unload();
    }
    windows.Destroy();
    document = nullptr;
  }

  std::string Call(const std::string& name, const std::string& args = "") { return plugin.CallByName(name, args); }

  // The document's procedure is ours, not the host's: a movie plays there.
  bool Subclassed() const { return standin::HostWindows::Subclassed(document); }

  // Pumps the host's messages until the movie has played to its end and the
  // window has its own procedure back, at most timeoutMs.
  bool PlayToEnd(int timeoutMs) {
    return windows.PumpUntil([&] { return !Subclassed(); }, timeoutMs);
  }

  standin::MessageBoxDismisser boxes;
  standin::HostWindows windows;
  standin::Plugin plugin;
  HWND document = nullptr;
};

}  // namespace rig
