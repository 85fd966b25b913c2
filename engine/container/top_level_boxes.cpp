#include "engine/container/top_level_boxes.h"

#include "engine/container/atom_reader.h"

namespace vmedia {

bool KnownTopLevelBox(uint32_t type) {
  switch (type) {
    // Both kinds of file.
    case FourCC("ftyp"): case FourCC("moov"): case FourCC("mdat"): case FourCC("free"):
    case FourCC("skip"): case FourCC("uuid"): case FourCC("meta"):
    // QuickTime: padding and the preview.
    case FourCC("wide"): case FourCC("pnot"): case FourCC("junk"):
    // Fragments and segments.
    case FourCC("moof"): case FourCC("mfra"): case FourCC("styp"): case FourCC("sidx"):
      return true;
  }
  return false;
}

bool StartsWithKnownBox(ByteSource& src) {
  uint8_t head[8];
  if (!src.Read(0, head, sizeof head)) return false;
  FieldReader r(head + 4, 4);
  return KnownTopLevelBox(r.U32());
}

TopLevelBoxes::TopLevelBoxes(ByteSource& src, uint64_t offset, int maxBoxes)
    : src_(src), fileSize_(src.Size()), offset_(offset), left_(maxBoxes) {}

TopLevelBoxes::Next TopLevelBoxes::Read(BoxHeader* box) {
  if (left_ <= 0 || offset_ > fileSize_ || fileSize_ - offset_ < 8) return Next::End;
  const uint64_t left = fileSize_ - offset_;
  uint8_t h[16];
  if (!src_.Read(offset_, h, 8)) return Next::Unreadable;
  FieldReader r(h, 8);
  box->offset = offset_;
  box->size = r.U32();
  box->type = r.U32();
  box->headerSize = 8;
  if (box->size == 1) {
    if (left < 16 || !src_.Read(offset_ + 8, h + 8, 8)) return Next::CutHeader;
    FieldReader r64(h + 8, 8);
    box->size = r64.U64();
    box->headerSize = 16;
  } else if (box->size == 0) {
    box->size = left;
  }
  if (box->size < box->headerSize) return Next::Undersized;
  if (box->size > left) return Next::Overruns;
  --left_;
  offset_ += box->size;
  return Next::Box;
}

}  // namespace vmedia
