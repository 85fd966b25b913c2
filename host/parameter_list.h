// Splitting an argument text at '|' bytes. Platform-free: works on the bytes
// of a text that the caller has already fetched from the host.
#pragma once
#include <stddef.h>
#include <stdint.h>

// The fields of one argument text. A non-empty text with k separators has
// k + 1 fields, an empty text none; fields may be empty and may hold zero
// bytes. Nothing is copied: the list reads the text where it lies.
class ParameterList {
 public:
  ParameterList(const char* text, size_t size) : text_(text), size_(size) {}

  // Number of fields, stopping at 32767 so that a huge text can never pass
  // for a small count once held in 16 bits.
  int16_t Count() const;

  // Field n, counted from 1. False when n is out of range.
  bool Field(int32_t n, const char** start, size_t* length) const;

 private:
  const char* text_;
  size_t size_;
};

constexpr int16_t kMaxParameterCount = 32767;
