// Media Foundation set-up for the engine's own threads. The host's threads
// are never touched: COM is initialised only on threads the engine starts,
// and Media Foundation is started at the first need, not at load time.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

struct IMFSourceReader;

namespace vmedia {

// Initialises COM (multithreaded) on the calling engine thread and starts
// Media Foundation once per process. False when either fails.
bool EnterMediaThread();
void LeaveMediaThread();

// Opens a source reader on a file path (wide, possibly \\?\-prefixed).
HRESULT OpenSourceReader(const std::wstring& path, bool videoProcessing, IMFSourceReader** reader);

// Runs `work` on a fresh media thread and waits up to timeoutMs for it. On
// timeout the thread is left to finish on its own and false is returned, so
// `work` must own (or share) everything it touches. While two such threads
// are still out, nothing more is started: false at once.
bool RunOnMediaThread(std::function<void()> work, DWORD timeoutMs);

}  // namespace vmedia
