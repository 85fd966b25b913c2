// Where the frames read from a sound source lie in movie time, for one
// start of the player: from the plan's `from` on at the source's frame
// rate, and back at the segment's start each time a loop comes round (one
// piece of input a pass). The stretcher's output is dated by how far into
// the input it has got, so a block played at any rate maps to movie time.
// Platform-free.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <deque>

#include "engine/audio/sound_plan.h"

namespace vmedia {

class SourceTimes {
 public:
  // A new start: nothing read yet, the next frame read lies at plan.from.
  void Begin(const SoundPlan& plan, int frameRate);
  const SoundPlan& plan() const { return plan_; }

  // Frames the source is to give before the segment's end, from the next
  // one read on; 0 or less at the end.
  int64_t FramesToEnd() const;
  // At the segment's end: true when the reading goes on from the segment's
  // start (the caller seeks the source there), false when the sound ends.
  bool WrapAtEnd();
  // `frames` more were read from the source.
  void Read(int64_t frames) { read_ += frames; }

  // The movie time of input frame `input` (counted from Begin). Pieces it
  // has passed are forgotten: ask in increasing order.
  double MovieAt(double input);
  // The movie time heard where the output has got `input` frames into the
  // input and lies `heardOffset` input frames off it; the pass is the
  // input's own.
  double HeardAt(double input, double heardOffset) { return MovieAt(input) + heardOffset / frameRate_; }
  // Output frames (each `rate` input frames) that fit from `input` up to
  // the next wrap, at most `blockFrames`: a block never straddles a loop's
  // wrap, so that its frames map to one pass.
  size_t BlockRoom(double input, double rate, size_t blockFrames) const;
  // Movie seconds each output frame advances.
  double Step() const { return plan_.rate / frameRate_; }

 private:
  struct Piece {
    int64_t input;  // input frame the piece begins at
    double movie;   // its movie time
  };
  // The next input frame's movie time.
  double NextMovieTime() const;

  SoundPlan plan_;
  int frameRate_ = 1;
  std::deque<Piece> pieces_;
  int64_t read_ = 0;  // input frames read from the source
};

}  // namespace vmedia
