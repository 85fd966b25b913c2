// Splitting an argument text at '|' bytes. Platform-free: works on the bytes
// of a text that the caller has already fetched from the host.
#pragma once
#include <stddef.h>
#include <stdint.h>

constexpr int16_t kMaxParameterCount = 32767;

// The fields of one argument text. A non-empty text with k separators has
// k + 1 fields, an empty text none; fields may be empty and may hold zero
// bytes. Nothing is copied: the list reads the text where it lies. The text
// is scanned once, when the list is made; the first fields are then found
// without scanning again.
class ParameterList {
 public:
  ParameterList(const char* text, size_t size);

  // Number of fields, stopping at 32767 so that a huge text can never pass
  // for a small count once held in 16 bits.
  int16_t Count() const { return count_; }

  // Field n, counted from 1. False when n is out of range.
  bool Field(int32_t n, const char** start, size_t* length) const;

 private:
  // More than any function takes, so that every field a function reads is
  // found from the first scan.
  static constexpr int32_t kIndexedFields = 10;

  const char* text_;
  size_t size_;
  int16_t count_ = 0;
  // Where each of the first fields ends: the offset of its separator, or
  // size_ for the last field.
  size_t ends_[kIndexedFields] = {};
};
