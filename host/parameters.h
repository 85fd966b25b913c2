// Reading arguments from and writing results to host handles, through the
// host routines of the call in progress.
#pragma once
#include <stdint.h>

#include "host/call_record.h"
#include "host/parameter_list.h"

// The argument text of one call, split once when the call comes in. The
// host's handle stays locked while the value lives, so that the fields keep
// pointing at its bytes; every argument a function reads comes from here.
class CallParameters {
 public:
  // A null handle is an empty text.
  explicit CallParameters(HostHandle handle);
  ~CallParameters();
  CallParameters(const CallParameters&) = delete;
  CallParameters& operator=(const CallParameters&) = delete;

  const ParameterList& List() const { return list_; }

 private:
  static ParameterList Lock(HostHandle handle);

  HostHandle handle_;
  ParameterList list_;
};

// Number of '|'-separated fields in the argument text (0 for an empty text),
// counted up to 32767.
int16_t CountParameters(const CallParameters& parameters);

// A zero-terminated copy of field n (from 1) in a block from HostNewBlock, or
// null when n is out of range or the host has no memory. The caller frees it
// with HostDisposeBlock.
char* CopyParameter(const CallParameters& parameters, int16_t n);

// Sizes the result handle to length bytes and copies text into it. If the
// host cannot resize the handle the result keeps what it held.
void SetResultText(HostHandle result, const char* text, int32_t length);

// Owns one argument copy and gives it back to the host when it goes out of
// scope, on every path.
class ParameterCopy {
 public:
  ParameterCopy(const CallParameters& parameters, int16_t n) : text_(CopyParameter(parameters, n)) {}
  ~ParameterCopy();
  ParameterCopy(const ParameterCopy&) = delete;
  ParameterCopy& operator=(const ParameterCopy&) = delete;
  const char* get() const { return text_; }
  // The copy, or std::bad_alloc when the host gave none.
  const char* required() const;

 private:
  char* text_;
};
