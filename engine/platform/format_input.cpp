#include "engine/platform/format_input.h"

#include <string.h>

#include <new>
#include <vector>

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

std::unique_ptr<FormatInput> FormatInput::Open(const std::wstring& path, DWORD boundMs, Index index,
                                               uint64_t boundBytes) {
  const FormatLibrary* lib = Formats();
  if (!lib) return nullptr;
  std::unique_ptr<FormatInput> in(new (std::nothrow) FormatInput());
  if (!in) return nullptr;
  in->lib_ = lib;
  in->Bound(boundMs, boundBytes);
  in->file_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (in->file_ == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(in->file_, &size) || size.QuadPart <= 0) return nullptr;
  in->size_ = uint64_t(size.QuadPart);
  try {
    // The name only guides the probe (.ts, .aac, ...); the bytes come from
    // our handle.
    in->name_ = Utf8(path);
  } catch (...) {
    return nullptr;
  }
  in->indexDeferred_ = index == Index::WhenSeeking && in->IsAvi();
  if (!in->OpenContext(!in->indexDeferred_)) return nullptr;
  return in;
}

FormatInput::~FormatInput() {
  CloseContext();
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool FormatInput::IsAvi() {
  uint8_t head[12];
  OVERLAPPED at = {};
  DWORD got = 0;
  return ReadFile(file_, head, sizeof head, &got, &at) && got == sizeof head && memcmp(head, "RIFF", 4) == 0 &&
         memcmp(head + 8, "AVI", 3) == 0;
}

bool FormatInput::OpenContext(bool withIndex) {
  position_ = 0;
  read_ = false;
  auto* buffer = static_cast<unsigned char*>(lib_->av_malloc(kIoBufferBytes));
  if (!buffer) return false;
  io_ = lib_->avio_alloc_context(buffer, kIoBufferBytes, 0, this, &ReadBytes, nullptr, &SeekBytes);
  if (!io_) {
    lib_->av_free(buffer);
    return false;
  }
  // libavformat's AVI reader loads the index with the headers only from a
  // file it can seek in.
  if (!withIndex) io_->seekable = 0;
  AVFormatContext* context = lib_->avformat_alloc_context();
  if (!context) return false;
  context->pb = io_;
  context->flags |= AVFMT_FLAG_CUSTOM_IO;
  context->interrupt_callback.callback = &Interrupted;
  context->interrupt_callback.opaque = this;
  // On failure libavformat frees the context itself.
  if (lib_->avformat_open_input(&context, name_.c_str(), nullptr, nullptr) < 0) return false;
  context_ = context;
  io_->seekable = AVIO_SEEKABLE_NORMAL;
  return lib_->avformat_find_stream_info(context, nullptr) >= 0 && !Stopped();
}

void FormatInput::CloseContext() {
  if (context_) lib_->avformat_close_input(&context_);
  if (io_) {
    lib_->av_free(io_->buffer);
    lib_->avio_context_free(&io_);
  }
}

bool FormatInput::Reopen(bool withIndex) {
  std::vector<AVDiscard> discard;
  try {
    for (unsigned i = 0; i < context_->nb_streams; ++i) discard.push_back(context_->streams[i]->discard);
  } catch (...) {
    return false;
  }
  CloseContext();
  indexDeferred_ = !withIndex;
  // The same file, so the same streams; a file changed meanwhile is done.
  if (!OpenContext(withIndex) || context_->nb_streams != discard.size()) {
    CloseContext();
    return false;
  }
  for (unsigned i = 0; i < context_->nb_streams; ++i) context_->streams[i]->discard = discard[i];
  return true;
}

void FormatInput::Bound(DWORD ms, uint64_t bytes) {
  start_ = GetTickCount();
  bound_ = ms;
  bytesRead_ = 0;
  byteBound_ = bytes;
}

bool FormatInput::Stopped() const {
  return cancelled_ || (bound_ && GetTickCount() - start_ > bound_) || (byteBound_ && bytesRead_ > byteBound_);
}

int FormatInput::Interrupted(void* self) { return static_cast<FormatInput*>(self)->Stopped() ? 1 : 0; }

int FormatInput::ReadBytes(void* opaque, uint8_t* buffer, int size) {
  auto* self = static_cast<FormatInput*>(opaque);
  if (self->Stopped()) return AVERROR_EXIT;
  if (size <= 0 || self->position_ >= self->size_) return AVERROR_EOF;
  OVERLAPPED at = {};
  at.Offset = DWORD(self->position_);
  at.OffsetHigh = DWORD(self->position_ >> 32);
  DWORD got = 0;
  if (!ReadFile(self->file_, buffer, DWORD(size), &got, &at) && GetLastError() != ERROR_HANDLE_EOF) return AVERROR(EIO);
  if (got == 0) return AVERROR_EOF;
  self->position_ += got;
  self->bytesRead_ += got;
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

bool FormatInput::AtEnd() const {
  return !Stopped() && context_ && context_->pb && context_->pb->eof_reached && !context_->pb->error;
}

bool FormatInput::Read(AVPacket* packet) {
  if (!context_ || Stopped()) return false;
  read_ = true;
  return lib_->av_read_frame(context_, packet) >= 0;
}

bool FormatInput::Seek(int stream, int64_t time) {
  if (!context_ || Stopped()) return false;
  if (indexDeferred_) {
    const AVStream* s = stream >= 0 && unsigned(stream) < context_->nb_streams ? context_->streams[stream] : nullptr;
    const bool toStart = s && time <= (s->start_time != AV_NOPTS_VALUE ? s->start_time : 0);
    // Straight after opening, the reading stands at the start.
    if (toStart && !read_) return true;
    if (!Reopen(!toStart)) return false;
    if (toStart) return true;
  }
  if (lib_->av_seek_frame(context_, stream, time, AVSEEK_FLAG_BACKWARD) >= 0) return true;
  // Before the first key frame the index knows: from the start.
  return lib_->av_seek_frame(context_, stream, time, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) >= 0 ||
         lib_->av_seek_frame(context_, -1, 0, AVSEEK_FLAG_BYTE) >= 0;
}

}  // namespace vmedia
