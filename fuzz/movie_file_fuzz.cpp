// libFuzzer target for the movie reader: parse, then ask every question the
// engine asks of a model. Build and run with scripts/fuzz.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "engine/container/movie_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vmedia::MemorySource src(data, size);
  vmedia::MovieModel movie;
  if (vmedia::ParseMovie(src, &movie) != vmedia::ParseStatus::Ok) return 0;
  vmedia::VideoSampleTimes(movie);
  std::vector<uint32_t> indices;
  vmedia::VideoSamples(movie, nullptr, &indices);
  const int video = movie.videoTrack();
  for (uint32_t i : indices) {
    vmedia::SampleRef r;
    if (video >= 0 && i >= movie.tracks[size_t(video)].sampleCount) __builtin_trap();
    vmedia::SampleAt(movie.tracks[size_t(video)], i, &r);
  }
  vmedia::StepTimes(movie);
  movie.videoTrack();
  for (const vmedia::Track& t : movie.tracks) {
    vmedia::DisplaySize(t);
    vmedia::SampleDataInFile(t);
    const vmedia::SampleTable& s = t.samples;
    for (uint32_t i : {0u, t.sampleCount / 2, t.sampleCount - 1, t.sampleCount}) {
      uint64_t offset;
      s.Offset(i, &offset);
      s.Duration(i);
      s.Size(i);
      s.SyncAtOrBefore(i);
      vmedia::SampleRef r;
      if (vmedia::SampleAt(t, i, &r) && (r.offset > size || r.size > size - r.offset)) __builtin_trap();
    }
    vmedia::PresentedEdits(t, movie);
    if (t.description.config.size() > vmedia::kMaxDescriptionConfig || t.description.palette.size() > 256)
      __builtin_trap();
  }
  return 0;
}
