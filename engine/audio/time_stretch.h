// Time stretching of a movie's sound: plays interleaved 16-bit PCM at 0.5
// to 2 times its speed with the pitch kept, by WSOLA (waveform similarity
// overlap-add). Each output hop crossfades, under a Hann window with 50 %
// overlap, the natural continuation of the previous frame into the input
// frame nearest the ideal input time that best matches it (normalised
// cross-correlation over a tolerance window). Platform-free; all memory is
// taken at construction.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <memory>

namespace vmedia {

constexpr double kMinStretchRate = 0.5;
constexpr double kMaxStretchRate = 2.0;
// Rates are held in 1/65536 steps, so positions are exact in that unit.
constexpr int32_t kStretchRateOne = 65536;
// Output hop (half the frame) and the search tolerance either side of the
// ideal input time.
constexpr double kStretchHopSeconds = 0.015;
constexpr double kStretchToleranceSeconds = 0.010;

class TimeStretcher {
 public:
  // 1 or 2 channels, 8000 to 48000 frames a second; anything else (or no
  // memory) leaves the stretcher not ok(), and then it takes and gives
  // nothing. The rate starts at 1.
  TimeStretcher(int channels, int sampleRate);
  TimeStretcher(const TimeStretcher&) = delete;
  TimeStretcher& operator=(const TimeStretcher&) = delete;

  bool ok() const { return hopFrames_ > 0; }
  int channels() const { return channels_; }
  int sampleRate() const { return sampleRate_; }
  // The rate in use, rounded to 1/65536.
  double rate() const { return double(rateFixed_) / kStretchRateOne; }

  // Takes a rate in [kMinStretchRate, kMaxStretchRate]; refuses anything
  // else (NaN included) with false and keeps the rate it had. Callable at
  // any time: the change is seamless and applies from the next output hop,
  // at most kStretchHopSeconds of output later. At exactly 1 the samples
  // pass through unchanged.
  bool SetRate(double rate);

  // Copies up to `frames` interleaved frames into the input buffer and
  // returns how many it took; fewer when the buffer is full (pull, then
  // push the rest), none after Flush.
  size_t Push(const int16_t* in, size_t frames);
  // Writes up to `frames` interleaved output frames and returns how many.
  // Short when more input is needed; after Flush, 0 means the stream is
  // over. At rate 1 every pushed frame comes out at once; at other rates
  // output comes once input reaches about a hop, the search tolerance and
  // a frame beyond the current position.
  size_t Pull(int16_t* out, size_t frames);
  // End of stream: the rest of the input is played out, and the output
  // stops where its input time reaches the end, so it lasts the input's
  // length over the rate.
  void Flush();
  // After a seek: drops all input and output at once and starts a new
  // stream at input frame 0, at the same rate.
  void Reset();

  // The input time (frames since the stream began) of the next frame Pull
  // will write, i.e. how much input the output so far stands for. At rate 1
  // it is exact and the latency is zero. While stretching it advances by
  // exactly the hop's rate for each output frame (a multiple of 1/65536),
  // and the sound heard is within the tolerance of it; on a change to rate
  // 1 it steps to the sound's true position, by at most the tolerance.
  double InputPosition() const { return double(PositionFixed()) / kStretchRateOne; }
  // How far (in input frames) the sound being written now lies from
  // InputPosition(). Each hop fades from the natural continuation of the
  // last into the frame that matched it best, which the search may find
  // up to the tolerance from the ideal time, and at rates below 1 mostly
  // finds ahead of it: without this a listener hears the sound ahead of the
  // time it stands for (25 ms at rate 0.5). 0 at rate 1.
  double HeardOffset() const;
  // Input needed beyond InputPosition() before a stretched hop comes out.

 private:
  int frameFrames() const { return 2 * hopFrames_; }
  int64_t PositionFixed() const;
  int64_t BufferEnd() const { return bufStart_ + int64_t(bufFrames_); }
  const int16_t* At(int64_t frame) const { return &buf_[size_t(frame - bufStart_) * channels_]; }
  // Drops input no later hop can reach; true when `frames` more now fit.
  bool MakeRoom(size_t frames);
  void Append(const int16_t* in, size_t frames);
  void AppendRepeat(size_t frames);
  int RepeatPeriod() const;
  bool MakeHop();
  void StartHop(int frames);
  int64_t BestFrame(int64_t lo, int64_t hi, int64_t target) const;
  double Similarity(int64_t reference, int64_t candidate, int frames, int step) const;
  size_t PassThrough(int16_t* out, size_t frames);
  size_t CopyHop(int16_t* out, size_t frames);

  int channels_ = 0;
  int sampleRate_ = 0;
  int hopFrames_ = 0;  // 0 when not ok()
  int toleranceFrames_ = 0;
  int searchStep_ = 1;  // coarse search stride
  int32_t rateFixed_ = kStretchRateOne;

  // Input, interleaved, from the earliest frame a hop can still reach.
  std::unique_ptr<int16_t[]> buf_;
  size_t capacityFrames_ = 0;
  int64_t bufStart_ = 0;  // input frame of buf_[0]
  size_t bufFrames_ = 0;  // frames held, the repeat past the end included
  int64_t inputEnd_ = 0;  // frames pushed
  bool flushed_ = false;
  int repeatFrames_ = 0;  // period repeated past the end, once flushed

  std::unique_ptr<float[]> rise_;  // first half of the Hann window
  std::unique_ptr<int16_t[]> hop_;
  int hopRead_ = 0;
  int hopFill_ = 0;
  int64_t hopStartFixed_ = 0;  // input time of hop_[0]
  int32_t hopRateFixed_ = kStretchRateOne;
  // Where the hop's sound lies from its input time at its first and past
  // its last frame, in input frames.
  double hopOffsetStart_ = 0, hopOffsetEnd_ = 0;

  int64_t natural_ = 0;     // input frame the output continues from
  int64_t idealFixed_ = 0;  // input time at the end of the last hop made
};

}  // namespace vmedia
