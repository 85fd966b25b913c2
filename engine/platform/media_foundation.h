// Media Foundation for the engine's own threads, loaded at run time from the
// system folder: where it is missing (Windows N editions) the engine still
// loads and plays everything its own codecs decode. The host's threads are
// never touched: COM is initialised only on threads the engine starts, and
// Media Foundation is loaded and started at the first need, not at load time.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

struct IMFMediaType;
struct IMFSourceReader;

namespace vmedia {

// Initialises COM (multithreaded) on the calling engine thread, when it can;
// every engine thread calls it, and LeaveMediaThread when it ends. Our own
// codecs need neither COM nor Media Foundation.
void EnterMediaThread();
void LeaveMediaThread();

// Loads and starts Media Foundation once per process; false where it is
// missing or refuses to start (or COM is not ready on this thread).
bool MediaFoundationReady();

// Opens a source reader on a file path (wide, possibly \\?\-prefixed);
// MF_E_PLATFORM_NOT_INITIALIZED where Media Foundation is not ready.
HRESULT OpenSourceReader(const std::wstring& path, bool videoProcessing, IMFSourceReader** reader);
HRESULT CreateMediaType(IMFMediaType** type);

// Runs `work` on a fresh media thread and waits up to timeoutMs for it. On
// timeout the thread is left to finish on its own and false is returned, so
// `work` must own (or share) everything it touches. While two such threads
// are still out, nothing more is started: false at once.
bool RunOnMediaThread(std::function<void()> work, DWORD timeoutMs);

}  // namespace vmedia
