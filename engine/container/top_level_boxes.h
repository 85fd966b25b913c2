// The boxes at the top level of a movie file, read a header at a time from
// the source rather than held in memory: a file is mostly media data that
// only its tables point into.
#pragma once
#include <stdint.h>

#include "engine/container/byte_source.h"

namespace vmedia {

// Box types that stand at the top level of QuickTime movies and ISO base
// media files (MPEG-4, 3GPP, and fragmented or segmented ones).
bool KnownTopLevelBox(uint32_t type);

// Whether the file starts with a box of a known top-level type: what makes
// a file one for the movie reader rather than another kind.
bool StartsWithKnownBox(ByteSource& src);

struct BoxHeader {
  uint64_t offset = 0;      // where the box starts in the file
  uint64_t size = 0;        // header included
  uint32_t type = 0;
  uint32_t headerSize = 8;  // 16 with a 64-bit size
};

// The boxes from an offset on, in file order. A size of 0 runs to the end
// of the file.
class TopLevelBoxes {
 public:
  enum class Next {
    Box,         // a box that lies within the file; the scan moves past it
    End,         // fewer than 8 bytes left, or maxBoxes read
    Unreadable,  // the source did not give the header's 8 bytes
    CutHeader,   // a 64-bit size that the file ends before
    Undersized,  // a size smaller than its own header
    Overruns,    // a box that runs past the end of the file
  };

  // Bounds the scan: a flood of tiny boxes costs a read each.
  TopLevelBoxes(ByteSource& src, uint64_t offset, int maxBoxes);

  // Reads the next header into *box. The type is filled for CutHeader,
  // Undersized and Overruns too; after any of those the scan stays put.
  Next Read(BoxHeader* box);
  uint64_t offset() const { return offset_; }  // of the next box

 private:
  ByteSource& src_;
  const uint64_t fileSize_;
  uint64_t offset_;
  int left_;
};

}  // namespace vmedia
