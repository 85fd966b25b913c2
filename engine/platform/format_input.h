// A media file opened by libavformat, read through our own handle (shared
// for reading and writing, as the movie files are) rather than FFmpeg's
// file protocol. Every call into libavformat can be bounded in time and
// cancelled from another thread: its interrupt callback and our own reads
// both give up, so a damaged or endless file never holds the caller.
#pragma once
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "engine/platform/codec_library.h"

namespace vmedia {

class FormatInput {
 public:
  // Opens `path` and reads its streams' parameters, all within `boundMs`.
  // Null when libavformat is missing, the file cannot be opened, no
  // demuxer knows it, or the bound runs out.
  static std::unique_ptr<FormatInput> Open(const std::wstring& path, DWORD boundMs);
  ~FormatInput();
  FormatInput(const FormatInput&) = delete;
  FormatInput& operator=(const FormatInput&) = delete;

  const FormatLibrary* lib() const { return lib_; }
  AVFormatContext* context() const { return context_; }
  uint64_t size() const { return size_; }

  // The calls from now on give up once `ms` have passed; 0 lifts the bound.
  void Bound(DWORD ms);
  // From any thread: every call under way and after gives up.
  void Cancel() { cancelled_ = true; }
  bool Cancelled() const { return cancelled_; }

  // The next packet of any stream (av_read_frame); false at the end, on
  // an error, or when the bound ran out.
  bool Read(AVPacket* packet);
  // To the key frame at or before `time` (stream units) of `stream`.
  bool Seek(int stream, int64_t time);

 private:
  FormatInput() = default;
  static int ReadBytes(void* self, uint8_t* buffer, int size);
  static int64_t SeekBytes(void* self, int64_t offset, int whence);
  static int Interrupted(void* self);
  bool OutOfTime() const;

  const FormatLibrary* lib_ = nullptr;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  AVIOContext* io_ = nullptr;
  AVFormatContext* context_ = nullptr;
  std::atomic<bool> cancelled_{false};
  DWORD start_ = 0, bound_ = 0;
};

}  // namespace vmedia
