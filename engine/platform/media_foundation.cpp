#include "engine/platform/media_foundation.h"

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace vmedia {
namespace {

// The entries the engine uses, from mfplat.dll and mfreadwrite.dll.
struct MediaFoundation {
  HRESULT(WINAPI* startup)(ULONG, DWORD) = nullptr;
  HRESULT(WINAPI* createAttributes)(IMFAttributes**, UINT32) = nullptr;
  HRESULT(WINAPI* createMediaType)(IMFMediaType**) = nullptr;
  HRESULT(WINAPI* createFile)(MF_FILE_ACCESSMODE, MF_FILE_OPENMODE, MF_FILE_FLAGS, LPCWSTR, IMFByteStream**) = nullptr;
  HRESULT(WINAPI* readerFromURL)(LPCWSTR, IMFAttributes*, IMFSourceReader**) = nullptr;
  HRESULT(WINAPI* readerFromByteStream)(IMFByteStream*, IMFAttributes*, IMFSourceReader**) = nullptr;
  bool started = false;
};

std::once_flag startOnce;
MediaFoundation mf;

// Media threads whose work has not come back. Calls come one at a time from
// the host's thread, so more than one means work left behind on a timeout,
// stuck in the media layer with its file: past this many, no more is
// started until some come back.
constexpr int kMaxMediaThreads = 2;
std::atomic<int> mediaThreads{0};
thread_local bool comReady = false;

struct WaitState {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
};

// From the system folder only: never a copy that lies beside the host.
HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  UINT n = GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n + 1 + wcslen(name) >= MAX_PATH) return nullptr;
  path[n] = L'\\';
  wcscpy(path + n + 1, name);
  return LoadLibraryW(path);
}

template <typename Entry>
bool Find(HMODULE module, const char* name, Entry* entry) {
  *entry = module ? reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
  return *entry != nullptr;
}

void Start() {
  // Kept loaded for the life of the process, like a linked library.
  HMODULE plat = LoadSystemLibrary(L"mfplat.dll");
  HMODULE readwrite = LoadSystemLibrary(L"mfreadwrite.dll");
  MediaFoundation found;
  if (!Find(plat, "MFStartup", &found.startup) || !Find(plat, "MFCreateAttributes", &found.createAttributes) ||
      !Find(plat, "MFCreateMediaType", &found.createMediaType) || !Find(plat, "MFCreateFile", &found.createFile) ||
      !Find(readwrite, "MFCreateSourceReaderFromURL", &found.readerFromURL) ||
      !Find(readwrite, "MFCreateSourceReaderFromByteStream", &found.readerFromByteStream))
    return;
  found.started = SUCCEEDED(found.startup(MF_VERSION, MFSTARTUP_FULL));
  mf = found;
}

}  // namespace

void EnterMediaThread() { comReady = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }

void LeaveMediaThread() {
  if (comReady) CoUninitialize();
  comReady = false;
}

bool MediaFoundationReady() {
  if (!comReady) return false;
  std::call_once(startOnce, Start);
  return mf.started;
}

HRESULT CreateMediaType(IMFMediaType** type) {
  *type = nullptr;
  if (!MediaFoundationReady()) return MF_E_PLATFORM_NOT_INITIALIZED;
  return mf.createMediaType(type);
}

HRESULT OpenSourceReader(const std::wstring& path, bool videoProcessing, IMFSourceReader** reader) {
  *reader = nullptr;
  if (!MediaFoundationReady()) return MF_E_PLATFORM_NOT_INITIALIZED;
  IMFAttributes* attributes = nullptr;
  HRESULT hr = mf.createAttributes(&attributes, 2);
  if (FAILED(hr)) return hr;
  if (videoProcessing) attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE);
  hr = mf.readerFromURL(path.c_str(), attributes, reader);
  if (FAILED(hr)) {
    // Some resolvers refuse extended-length names; a byte stream on the file
    // carries no name they could stumble over.
    IMFByteStream* stream = nullptr;
    HRESULT hr2 = mf.createFile(MF_ACCESSMODE_READ, MF_OPENMODE_FAIL_IF_NOT_EXIST, MF_FILEFLAGS_NONE, path.c_str(),
                                &stream);
    if (SUCCEEDED(hr2)) {
      hr2 = mf.readerFromByteStream(stream, attributes, reader);
      stream->Release();
      if (SUCCEEDED(hr2)) hr = hr2;
    }
  }
  attributes->Release();
  return hr;
}

bool RunOnMediaThread(std::function<void()> work, DWORD timeoutMs) {
  if (++mediaThreads > kMaxMediaThreads) {
    --mediaThreads;
    return false;
  }
  auto state = std::make_shared<WaitState>();
  try {
    std::thread([state, work = std::move(work)] {
      EnterMediaThread();
      try {
        work();
      } catch (...) {
        // Reported as not done: the caller sees no result.
      }
      LeaveMediaThread();
      std::lock_guard<std::mutex> lock(state->m);
      state->done = true;
      --mediaThreads;
      state->cv.notify_all();
    }).detach();
  } catch (...) {
    --mediaThreads;
    return false;
  }
  std::unique_lock<std::mutex> lock(state->m);
  return state->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return state->done; });
}

}  // namespace vmedia
