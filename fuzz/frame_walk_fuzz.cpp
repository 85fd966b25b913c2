// libFuzzer target for the frame walk over MPEG audio and ADTS frames: any
// bytes end in one of its answers, read nothing twice over, and count no
// frame that is not there. Build and run with scripts/fuzz.
#include <stddef.h>
#include <stdint.h>

#include "engine/container/frame_walk.h"

namespace {

class Counted : public vmedia::ByteSource {
 public:
  Counted(const uint8_t* data, size_t size) : inner_(data, size) {}
  uint64_t Size() const override { return inner_.Size(); }
  bool Read(uint64_t offset, void* dst, size_t n) override {
    bytes += n;
    return inner_.Read(offset, dst, n);
  }
  uint64_t bytes = 0;

 private:
  vmedia::MemorySource inner_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (vmedia::FrameKind kind : {vmedia::FrameKind::MpegAudio, vmedia::FrameKind::Adts}) {
    Counted src(data, size);
    vmedia::FrameWalk w = vmedia::WalkFrames(src, kind, {});
    // No frame is shorter than 7 bytes (an ADTS header alone; MPEG audio
    // needs 24), but the last may be cut short.
    if (w.frames > size / 7 + 1) __builtin_trap();
    if (w.frames && (w.sampleRate < 7350 || w.firstFrame >= size)) __builtin_trap();
    if (w.samples < w.frames * 384 || w.samples > w.frames * 4096) __builtin_trap();
    // Blocks overlap by less than a frame; a resync may read one block back.
    if (src.bytes > 4 * uint64_t(size) + 4 * vmedia::kWalkBlockBytes) __builtin_trap();
    vmedia::WalkLimits limits;
    limits.maxBytes = size / 2;
    Counted bounded(data, size);
    vmedia::WalkFrames(bounded, kind, limits);
    if (limits.maxBytes && bounded.bytes > limits.maxBytes) __builtin_trap();
  }
  return 0;
}
