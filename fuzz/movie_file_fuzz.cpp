// libFuzzer target for the movie reader: parse, then ask every question the
// engine asks of a model. Build and run with scripts/fuzz.
#include <stddef.h>
#include <stdint.h>

#include "engine/container/movie_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vmedia::MemorySource src(data, size);
  vmedia::MovieModel movie;
  if (vmedia::ParseMovie(src, &movie) != vmedia::ParseStatus::Ok) return 0;
  vmedia::VideoSampleTimes(movie);
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
    }
  }
  return 0;
}
