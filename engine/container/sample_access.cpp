// SampleAt: one sample's place, times and sync flag, for decoding from the
// file's own tables.
#include "engine/container/movie_file.h"

namespace vmedia {

bool SampleAt(const Track& t, uint32_t sample, SampleRef* out) {
  const SampleTable& s = t.samples;
  SampleRef r;
  int64_t decode;
  if (sample >= t.sampleCount || !s.Offset(sample, &r.offset) || !s.DecodeTime(sample, &decode)) return false;
  r.size = s.Size(sample);
  r.decodeTime = decode;
  r.presentationTime = decode + s.CompositionOffset(sample);
  r.duration = s.Duration(sample);
  r.sync = s.IsSync(sample);
  *out = r;
  return true;
}

}  // namespace vmedia
