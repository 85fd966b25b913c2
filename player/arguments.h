// Taking one argument from the call's text for as long as it is read.
#pragma once
#include "host/parameters.h"
#include "player/argument_numbers.h"

// Argument n as a whole number. A copy the host could not make raises
// std::bad_alloc rather than read as 0.
inline int32_t ReadWholeArgument(const CallParameters& parameters, int16_t n) {
  ParameterCopy copy(parameters, n);
  return ReadWholeNumber(copy.required());
}

// Argument n, which a call may leave off: its text while the call has it,
// null when it does not. A copy the host could not make raises
// std::bad_alloc, never passes for an argument left off.
class OptionalArgument {
 public:
  OptionalArgument(const CallParameters& parameters, int16_t n)
      : given_(n >= 1 && n <= CountParameters(parameters)), copy_(parameters, given_ ? n : 0) {}
  const char* text() const { return given_ ? copy_.required() : nullptr; }

 private:
  bool given_;
  ParameterCopy copy_;
};
