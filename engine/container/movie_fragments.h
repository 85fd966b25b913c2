// Movie fragments: the samples a fragmented file keeps in moof boxes after
// its moov, appended to the tracks' tables.
#pragma once
#include <stdint.h>

#include <vector>

#include "engine/container/byte_source.h"
#include "engine/container/movie_file.h"

namespace vmedia {

// A track's sample defaults for its fragments (trex).
struct FragmentDefaults {
  uint32_t trackId = 0;
  uint32_t duration = 0, size = 0, flags = 0;
};

// Reads the top-level boxes from offset (just past the moov) and appends the
// samples of each moof to the tracks, after what the moov lists. Ok also
// when a fragment that cannot be read whole ends the scan (see ParseMovie);
// TooLarge past the bounds of movie_file.h.
ParseStatus ReadFragments(ByteSource& src, uint64_t offset, const std::vector<FragmentDefaults>& defaults,
                          MovieModel* m);

// Once the presentation index is built: stretches a track that has fragment
// samples to cover them all (tkhd duration, mdhd duration, the last edit;
// the moov knew only its own samples) and answers its end in movie units.
int64_t CoverFragmentSamples(Track* t, uint32_t movieTimeScale);

}  // namespace vmedia
