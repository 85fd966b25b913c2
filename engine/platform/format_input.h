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
  // When an AVI file's index is read: with its headers, as libavformat
  // does, or at the first seek that needs it. A long file's index is read
  // whole (180,000 entries for two hours), and opening it to ask its
  // length or to show its first frame needs none of it.
  enum class Index { AtOpen, WhenSeeking };

  // Opens `path` and reads its streams' parameters, all within `boundMs`.
  // Null when libavformat is missing, the file cannot be opened, no
  // demuxer knows it, or the bound runs out.
  // `boundBytes` (0: none) bounds what the opening may read of the file:
  // libavformat reads a few MiB at most of a file it knows, but may scan
  // one of noise to its end.
  static std::unique_ptr<FormatInput> Open(const std::wstring& path, DWORD boundMs, Index index = Index::AtOpen,
                                           uint64_t boundBytes = 0);
  ~FormatInput();
  FormatInput(const FormatInput&) = delete;
  FormatInput& operator=(const FormatInput&) = delete;

  const FormatLibrary* lib() const { return lib_; }
  AVFormatContext* context() const { return context_; }
  uint64_t size() const { return size_; }

  // The calls from now on give up once `ms` have passed or `bytes` more
  // of the file were read; 0 lifts either bound.
  void Bound(DWORD ms, uint64_t bytes = 0);
  // From any thread: every call under way and after gives up.
  void Cancel() { cancelled_ = true; }
  // Cancelled, or a bound ran out: what was read is not all there is.
  bool Stopped() const;
  // The last Read gave up at the file's end: not at a bound (whose read
  // leaves the end-of-file flag set too) and not on an error.
  bool AtEnd() const;

  // The next packet of any stream (av_read_frame); false at the end, on
  // an error, or when the bound ran out.
  bool Read(AVPacket* packet);
  // To the key frame at or before `time` (stream units) of `stream`. With
  // the index still unread, back to the start opens the file again without
  // it, anywhere else with it; the streams' discard settings carry over.
  bool Seek(int stream, int64_t time);

 private:
  FormatInput() = default;
  bool IsAvi();
  bool OpenContext(bool withIndex);
  void CloseContext();
  bool Reopen(bool withIndex);
  static int ReadBytes(void* self, uint8_t* buffer, int size);
  static int64_t SeekBytes(void* self, int64_t offset, int whence);
  static int Interrupted(void* self);

  const FormatLibrary* lib_ = nullptr;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  AVIOContext* io_ = nullptr;
  AVFormatContext* context_ = nullptr;
  std::string name_;  // UTF-8, for the probe
  bool indexDeferred_ = false;
  bool read_ = false;  // a packet was read since the file was opened
  std::atomic<bool> cancelled_{false};
  DWORD start_ = 0, bound_ = 0;
  uint64_t bytesRead_ = 0, byteBound_ = 0;
};

}  // namespace vmedia
