#include "engine/platform/ports.h"

#include <new>
#include <unordered_set>

struct GrafPortRecord {
  HWND window;
};

namespace vmedia {
namespace {

std::unordered_set<CGrafPtr> ports;
CGrafPtr currentPort = nullptr;
GDHandle currentDevice = nullptr;

}  // namespace

CGrafPtr CreatePort(HWND window) {
  if (!window || !IsWindow(window)) return nullptr;
  auto* port = new (std::nothrow) GrafPortRecord{window};
  if (!port) return nullptr;
  try {
    ports.insert(port);
  } catch (...) {
    delete port;
    return nullptr;
  }
  return port;
}

void DestroyPort(CGrafPtr port) {
  if (!ports.erase(port)) return;
  if (currentPort == port) currentPort = nullptr;
  delete port;
}

bool IsPort(CGrafPtr port) { return port && ports.count(port); }

HWND PortWindow(CGrafPtr port) { return IsPort(port) ? port->window : nullptr; }

void GetCurrentPort(CGrafPtr* port, GDHandle* device) {
  if (port) *port = currentPort;
  if (device) *device = currentDevice;
}

void SetCurrentPort(CGrafPtr port, GDHandle device) {
  currentPort = port;
  currentDevice = device;
}

CGrafPtr CurrentPort() { return currentPort; }

}  // namespace vmedia
