#include "engine/media_foundation.h"

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace vmedia {
namespace {

std::once_flag startOnce;
bool started = false;

struct WaitState {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
};

// Media threads whose work has not come back. Calls come one at a time from
// the host's thread, so more than one means work left behind on a timeout,
// stuck in the media layer with its file: past this many, no more is
// started until some come back.
constexpr int kMaxMediaThreads = 2;
std::atomic<int> mediaThreads{0};

}  // namespace

bool EnterMediaThread() {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(hr)) return false;
  std::call_once(startOnce, [] { started = SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL)); });
  if (!started) {
    CoUninitialize();
    return false;
  }
  return true;
}

void LeaveMediaThread() { CoUninitialize(); }

HRESULT OpenSourceReader(const std::wstring& path, bool videoProcessing, IMFSourceReader** reader) {
  *reader = nullptr;
  IMFAttributes* attributes = nullptr;
  HRESULT hr = MFCreateAttributes(&attributes, 2);
  if (FAILED(hr)) return hr;
  if (videoProcessing) attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE);
  hr = MFCreateSourceReaderFromURL(path.c_str(), attributes, reader);
  if (FAILED(hr)) {
    // Some resolvers refuse extended-length names; a byte stream on the file
    // carries no name they could stumble over.
    IMFByteStream* stream = nullptr;
    HRESULT hr2 = MFCreateFile(MF_ACCESSMODE_READ, MF_OPENMODE_FAIL_IF_NOT_EXIST, MF_FILEFLAGS_NONE,
                               path.c_str(), &stream);
    if (SUCCEEDED(hr2)) {
      hr2 = MFCreateSourceReaderFromByteStream(stream, attributes, reader);
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
      if (EnterMediaThread()) {
        try {
          work();
        } catch (...) {
          // Reported as not done: the caller sees no result.
        }
        LeaveMediaThread();
      }
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
