// Bounds-checked reading of atoms (boxes) held in memory: big-endian fields
// and the children of a container atom.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "engine/container/fourcc.h"

namespace vmedia {

// Sequential fields of one atom's payload. A read past the end yields 0 and
// clears ok() for good, so a parser checks once after a group of fields.
class FieldReader {
 public:
  FieldReader(const uint8_t* data, size_t size) : p_(data), n_(size) {}

  uint8_t U8() { return uint8_t(Take(1)); }
  uint16_t U16() { return uint16_t(Take(2)); }
  uint32_t U32() { return uint32_t(Take(4)); }
  uint64_t U64() { return Take(8); }
  void Skip(size_t n) {
    if (n > n_ - pos_) Fail(); else pos_ += n;
  }
  size_t Remaining() const { return n_ - pos_; }
  const uint8_t* Here() const { return p_ + pos_; }
  bool ok() const { return ok_; }

 private:
  uint64_t Take(size_t n) {
    if (!ok_ || n > n_ - pos_) {
      Fail();
      return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v = v << 8 | p_[pos_ + i];
    pos_ += n;
    return v;
  }
  void Fail() {
    ok_ = false;
    pos_ = n_;
  }

  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// One atom held in memory: its type and payload, header left off.
struct AtomSpan {
  uint32_t type = 0;
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// The child atoms of a container's payload, in order. A size of 0 runs to
// the end of the parent; fewer than 8 bytes left end the list (QuickTime's
// 32-bit zero terminator). A child that does not fit sets corrupt().
class AtomIterator {
 public:
  AtomIterator(const uint8_t* data, size_t size) : p_(data), n_(size) {}

  bool Next(AtomSpan* atom) {
    if (corrupt_ || n_ - pos_ < 8) return false;
    FieldReader r(p_ + pos_, n_ - pos_);
    uint64_t atomSize = r.U32();
    atom->type = r.U32();
    size_t header = 8;
    if (atomSize == 1) {
      atomSize = r.U64();
      header = 16;
      if (!r.ok()) return Corrupt();
    } else if (atomSize == 0) {
      atomSize = n_ - pos_;
    }
    if (atomSize < header || atomSize > n_ - pos_) return Corrupt();
    atom->data = p_ + pos_ + header;
    atom->size = size_t(atomSize) - header;
    pos_ += size_t(atomSize);
    return true;
  }
  bool corrupt() const { return corrupt_; }

 private:
  bool Corrupt() {
    corrupt_ = true;
    return false;
  }

  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
  bool corrupt_ = false;
};

}  // namespace vmedia
