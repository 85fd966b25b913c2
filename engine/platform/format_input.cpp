#include "engine/platform/format_input.h"

#include <new>

namespace vmedia {
namespace {

constexpr int kIoBufferBytes = 64 << 10;

std::string Utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), int(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), int(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

}  // namespace

std::unique_ptr<FormatInput> FormatInput::Open(const std::wstring& path, DWORD boundMs) {
  const FormatLibrary* lib = Formats();
  if (!lib) return nullptr;
  std::unique_ptr<FormatInput> in(new (std::nothrow) FormatInput());
  if (!in) return nullptr;
  in->lib_ = lib;
  in->Bound(boundMs);
  in->file_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (in->file_ == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(in->file_, &size) || size.QuadPart <= 0) return nullptr;
  in->size_ = uint64_t(size.QuadPart);

  auto* buffer = static_cast<unsigned char*>(lib->av_malloc(kIoBufferBytes));
  if (!buffer) return nullptr;
  in->io_ = lib->avio_alloc_context(buffer, kIoBufferBytes, 0, in.get(), &ReadBytes, nullptr, &SeekBytes);
  if (!in->io_) {
    lib->av_free(buffer);
    return nullptr;
  }
  AVFormatContext* context = lib->avformat_alloc_context();
  if (!context) return nullptr;
  context->pb = in->io_;
  context->flags |= AVFMT_FLAG_CUSTOM_IO;
  context->interrupt_callback.callback = &Interrupted;
  context->interrupt_callback.opaque = in.get();
  // The name only guides the probe (.ts, .aac, ...); the bytes come from
  // our handle. On failure libavformat frees the context itself.
  if (lib->avformat_open_input(&context, Utf8(path).c_str(), nullptr, nullptr) < 0) return nullptr;
  in->context_ = context;
  if (lib->avformat_find_stream_info(context, nullptr) < 0 || in->OutOfTime()) return nullptr;
  return in;
}

FormatInput::~FormatInput() {
  if (context_) lib_->avformat_close_input(&context_);
  if (io_) {
    lib_->av_free(io_->buffer);
    lib_->avio_context_free(&io_);
  }
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

void FormatInput::Bound(DWORD ms) {
  start_ = GetTickCount();
  bound_ = ms;
}

bool FormatInput::OutOfTime() const { return cancelled_ || (bound_ && GetTickCount() - start_ > bound_); }

int FormatInput::Interrupted(void* self) { return static_cast<FormatInput*>(self)->OutOfTime() ? 1 : 0; }

int FormatInput::ReadBytes(void* opaque, uint8_t* buffer, int size) {
  auto* self = static_cast<FormatInput*>(opaque);
  if (self->OutOfTime()) return AVERROR_EXIT;
  if (size <= 0 || self->position_ >= self->size_) return AVERROR_EOF;
  OVERLAPPED at = {};
  at.Offset = DWORD(self->position_);
  at.OffsetHigh = DWORD(self->position_ >> 32);
  DWORD got = 0;
  if (!ReadFile(self->file_, buffer, DWORD(size), &got, &at) && GetLastError() != ERROR_HANDLE_EOF) return AVERROR(EIO);
  if (got == 0) return AVERROR_EOF;
  self->position_ += got;
  return int(got);
}

int64_t FormatInput::SeekBytes(void* opaque, int64_t offset, int whence) {
  auto* self = static_cast<FormatInput*>(opaque);
  whence &= ~AVSEEK_FORCE;
  if (whence == AVSEEK_SIZE) return int64_t(self->size_);
  int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(self->position_)
               : whence == SEEK_END ? int64_t(self->size_) : -1;
  if (base < 0 || offset < -base) return AVERROR(EINVAL);
  self->position_ = uint64_t(base + offset);
  return int64_t(self->position_);
}

bool FormatInput::Read(AVPacket* packet) {
  if (OutOfTime()) return false;
  return lib_->av_read_frame(context_, packet) >= 0;
}

bool FormatInput::Seek(int stream, int64_t time) {
  if (OutOfTime()) return false;
  if (lib_->av_seek_frame(context_, stream, time, AVSEEK_FLAG_BACKWARD) >= 0) return true;
  // Before the first key frame the index knows: from the start.
  return lib_->av_seek_frame(context_, stream, time, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) >= 0 ||
         lib_->av_seek_frame(context_, -1, 0, AVSEEK_FLAG_BYTE) >= 0;
}

}  // namespace vmedia
