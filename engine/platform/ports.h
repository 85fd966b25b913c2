// Graphics ports: a port stands for a window the engine draws into. The
// current port and device are the engine's, set and read by the host.
#pragma once
#include <windows.h>

#include "media_interface/operations.h"

namespace vmedia {

CGrafPtr CreatePort(HWND window);
void DestroyPort(CGrafPtr port);
// The port's window, or null for anything that is not a live port.
HWND PortWindow(CGrafPtr port);
bool IsPort(CGrafPtr port);

void GetCurrentPort(CGrafPtr* port, GDHandle* device);
void SetCurrentPort(CGrafPtr port, GDHandle device);
CGrafPtr CurrentPort();

}  // namespace vmedia
