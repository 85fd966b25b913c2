#include "engine/container/frame_walk.h"

#include <string.h>

#include <algorithm>
#include <vector>

namespace vmedia {
namespace {

constexpr uint64_t kNone = ~uint64_t(0);

// The file as a window of one block, moved on demand.
class Blocks {
 public:
  Blocks(ByteSource& src, const WalkLimits& limits) : src_(src), limits_(limits), size_(src.Size()) {}

  uint64_t size() const { return size_; }
  // True once the limits or a failed read stopped the reading.
  bool stopped() const { return over_ || broken_; }
  WalkEnd why() const { return broken_ ? WalkEnd::Unreadable : WalkEnd::OverLimit; }

  // `n` bytes at `pos`; null past the end of the file or once stopped. The
  // pointer holds until the next call.
  const uint8_t* At(uint64_t pos, size_t n) {
    if (pos >= start_ && pos - start_ <= length_ && n <= length_ - (pos - start_)) return buffer_.data() + (pos - start_);
    if (stopped() || pos > size_ || n > size_ - pos) return nullptr;
    return Fill(pos) && n <= length_ ? buffer_.data() : nullptr;
  }
  // Bytes from `pos` to the end of the window (`pos` within it).
  size_t Held(uint64_t pos) const { return size_t(start_ + length_ - pos); }

 private:
  bool Fill(uint64_t pos) {
    if (limits_.outOfTime && limits_.outOfTime()) return (over_ = true, false);
    const size_t n = size_t(std::min<uint64_t>(kWalkBlockBytes, size_ - pos));
    if (limits_.maxBytes && (read_ > limits_.maxBytes || n > limits_.maxBytes - read_)) return (over_ = true, false);
    try {
      if (buffer_.size() < n) buffer_.resize(n);
    } catch (...) {
      return (broken_ = true, false);
    }
    length_ = 0;
    if (!src_.Read(pos, buffer_.data(), n)) return (broken_ = true, false);
    read_ += n;
    start_ = pos;
    length_ = n;
    return true;
  }

  ByteSource& src_;
  const WalkLimits& limits_;
  const uint64_t size_;
  std::vector<uint8_t> buffer_;
  uint64_t start_ = 0, read_ = 0;
  size_t length_ = 0;
  bool over_ = false, broken_ = false;
};

bool Starts(Blocks& b, uint64_t pos, const char* text) {
  const size_t n = strlen(text);
  const uint8_t* h = b.At(pos, n);
  return h && memcmp(h, text, n) == 0;
}

// The whole size of an ID3v2 tag at `pos`, 0 where none starts.
uint64_t Id3v2Size(Blocks& b, uint64_t pos) {
  const uint8_t* h = b.At(pos, 10);
  if (!h || memcmp(h, "ID3", 3) != 0 || h[3] == 0xFF || h[4] == 0xFF) return 0;
  if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return 0;
  const uint64_t body = uint64_t(h[6]) << 21 | uint64_t(h[7]) << 14 | uint64_t(h[8]) << 7 | h[9];
  return 10 + body + ((h[5] & 0x10) ? 10 : 0);
}

// ID3v1 (and its extension before it), APE and Lyrics3 tags close a file:
// no frame follows.
bool ClosingTag(Blocks& b, uint64_t pos) {
  return Starts(b, pos, "TAG") || Starts(b, pos, "APETAGEX") || Starts(b, pos, "LYRICSBEGIN");
}

// Whether a frame of `f`'s stream starts at `pos + f.bytes`, or the file or
// its sound ends there.
bool NextAgrees(Blocks& b, FrameKind kind, uint64_t pos, const FrameHeader& f) {
  const uint64_t next = pos + f.bytes;
  if (next == b.size()) return true;
  if (next > b.size()) return false;
  FrameHeader g;
  const uint8_t* h = b.At(next, HeaderBytes(kind));
  if (h && ReadFrameHeader(kind, h, &g)) return g.streamBits == f.streamBits;
  return ClosingTag(b, next);
}

// The first frame in [from, to) whose header has `bits` (0: any stream)
// and whose next frame agrees; kNone where none does.
uint64_t FindFrame(Blocks& b, FrameKind kind, uint64_t from, uint64_t to, uint32_t bits, FrameHeader* found) {
  const size_t headerBytes = HeaderBytes(kind);
  for (uint64_t p = from; p < to;) {
    const uint8_t* h = b.At(p, headerBytes);
    if (!h) return kNone;
    const size_t span = size_t(std::min<uint64_t>(b.Held(p), to - p));
    const auto* sync = static_cast<const uint8_t*>(memchr(h, 0xFF, span));
    if (!sync) {
      p += span;
      continue;
    }
    p += uint64_t(sync - h);
    h = b.At(p, headerBytes);
    if (!h) return kNone;
    FrameHeader f;
    if (ReadFrameHeader(kind, h, &f) && (!bits || f.streamBits == bits) && NextAgrees(b, kind, p, f)) {
      *found = f;
      return p;
    }
    ++p;
  }
  return kNone;
}

// An encoder's table in place of the first frame of layer III (Xing, Info,
// VBRI): libavformat gives it to no decoder when it says how many frames
// or bytes follow.
bool TableFrame(Blocks& b, uint64_t pos) {
  const uint8_t* h = b.At(pos, 4);
  if (!h || (h[1] >> 1 & 3) != 1) return false;
  const bool lsf = (h[1] >> 3 & 1) == 0, mono = (h[3] >> 6) == 3;
  const uint64_t xing = pos + 4 + (lsf ? (mono ? 9 : 17) : (mono ? 17 : 32));
  if (const uint8_t* x = b.At(xing, 8)) {
    if ((memcmp(x, "Xing", 4) == 0 || memcmp(x, "Info", 4) == 0) && (x[7] & 3)) return true;
  }
  const uint8_t* v = b.At(pos + 36, 6);
  return v && memcmp(v, "VBRI", 4) == 0 && v[4] == 0 && v[5] == 1;
}

}  // namespace

FrameWalk WalkFrames(ByteSource& src, FrameKind kind, const WalkLimits& limits) {
  FrameWalk w;
  Blocks b(src, limits);
  const uint64_t size = b.size();
  const size_t headerBytes = HeaderBytes(kind);
  uint64_t p = 0;
  for (uint64_t tag; (tag = Id3v2Size(b, p)) != 0;) p += tag;
  FrameHeader f;
  p = p < size ? FindFrame(b, kind, p, std::min(size, p + kResyncBytes), 0, &f) : kNone;
  if (p == kNone) {
    w.end = b.stopped() ? b.why() : WalkEnd::NoFrames;
    return w;
  }
  w.firstFrame = p;
  w.sampleRate = f.sampleRate;
  const uint32_t bits = f.streamBits;
  if (kind == FrameKind::MpegAudio && TableFrame(b, p)) {
    p += f.bytes;
    w.firstFrame = p;
  }
  for (;;) {
    const uint8_t* h = b.At(p, headerBytes);
    if (!h) {
      // Less than a header left: the sound ended.
      w.end = b.stopped() ? b.why() : WalkEnd::Whole;
      return w;
    }
    if (ReadFrameHeader(kind, h, &f) && f.streamBits == bits) {
      if (f.bytes > size - p) {
        // Cut short: libavcodec decodes the rest of an MPEG audio frame as
        // if it were whole, and refuses an ADTS frame.
        if (kind == FrameKind::MpegAudio) ++w.frames, w.samples += f.samples;
        w.end = WalkEnd::Whole;
        return w;
      }
      ++w.frames;
      w.samples += f.samples;
      p += f.bytes;
      continue;
    }
    if (ClosingTag(b, p)) {
      w.end = WalkEnd::Whole;
      return w;
    }
    if (const uint64_t tag = Id3v2Size(b, p)) {
      p += tag;
      continue;
    }
    const uint64_t reach = std::min(size, p + kResyncBytes);
    const uint64_t next = FindFrame(b, kind, p + 1, reach, bits, &f);
    if (next == kNone) {
      // Junk to the end of the file closes the sound; junk beyond the
      // reach leaves the rest unknown.
      w.end = b.stopped() ? b.why() : reach == size ? WalkEnd::Whole : WalkEnd::Lost;
      return w;
    }
    p = next;
  }
}

}  // namespace vmedia
