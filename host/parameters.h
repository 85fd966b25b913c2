// Reading arguments from and writing results to host handles, through the
// host routines of the call in progress.
#pragma once
#include <stdint.h>

#include "host/call_record.h"

// Number of '|'-separated fields in the argument text (0 for an empty text),
// counted up to 32767.
int16_t CountParameters(HostHandle parameters);

// A zero-terminated copy of field n (from 1) in a block from HostNewBlock, or
// null when n is out of range or the host has no memory. The caller frees it
// with HostDisposeBlock.
char* CopyParameter(HostHandle parameters, int16_t n);

// Sizes the result handle to length bytes and copies text into it. If the
// host cannot resize the handle the result keeps what it held.
void SetResultText(HostHandle result, const char* text, int32_t length);

// Owns one argument copy and gives it back to the host when it goes out of
// scope, on every path.
class ParameterCopy {
 public:
  ParameterCopy(HostHandle parameters, int16_t n) : text_(CopyParameter(parameters, n)) {}
  ~ParameterCopy();
  ParameterCopy(const ParameterCopy&) = delete;
  ParameterCopy& operator=(const ParameterCopy&) = delete;
  const char* get() const { return text_; }
  // The copy, or std::bad_alloc when the host gave none.
  const char* required() const;

 private:
  char* text_;
};
