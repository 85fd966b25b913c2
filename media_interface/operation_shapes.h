// What the operation list says about each operation, for the engines behind
// the dispatcher and for tests: its name, how many argument words it takes,
// whether it answers, and the call of an implementation with the caller's
// argument words. All of it comes from the list, so an engine decodes
// exactly what the gate's callers push.
//
// An engine declares its implementations from the list in a namespace of
// its own (MEDIA_DECLARE_OPERATION), and its dispatcher has one case per
// list entry that returns CallWithWords(operations::name, words).
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <type_traits>
#include <utility>

#include "media_interface/operations.h"

namespace media_interface {

template <class Signature>
struct Shape;

template <class R, class... A>
struct Shape<R(A...)> {
  static constexpr int argumentCount = sizeof...(A);
  static constexpr bool returnsNothing = std::is_void<R>::value;
  // Pointers are a word in the 32-bit build they are used in.
  static_assert(((std::is_pointer<A>::value || (std::is_integral<A>::value && sizeof(A) <= 4)) && ...),
                "every argument is one 32-bit word");
};

#define MEDIA_OPERATION_SHAPE(name, selector, result, parameters) \
  using name = Shape<result parameters>;
namespace shapes {
MEDIA_OPERATIONS(MEDIA_OPERATION_SHAPE)
}
#undef MEDIA_OPERATION_SHAPE

// The operation's name; "unknown" for a selector not in the list.
inline const char* OperationName(uint32_t selector) {
  switch (selector) {
#define MEDIA_OPERATION_NAME(name, selector, result, parameters) \
  case selector:                                                 \
    return #name;
    MEDIA_OPERATIONS(MEDIA_OPERATION_NAME)
#undef MEDIA_OPERATION_NAME
  }
  return "unknown";
}

// Words the operation takes from the caller's stack; -1 for an unknown one.
inline int ArgumentCount(uint32_t selector) {
  switch (selector) {
#define MEDIA_OPERATION_COUNT(name, selector, result, parameters) \
  case selector:                                                  \
    return shapes::name::argumentCount;
    MEDIA_OPERATIONS(MEDIA_OPERATION_COUNT)
#undef MEDIA_OPERATION_COUNT
  }
  return -1;
}

// An argument as the operation declares it, from the caller's word: 16-bit
// and 8-bit ones from the word's low bits.
template <class T>
T FromWord(uint32_t word) {
  if constexpr (std::is_pointer<T>::value) {
    return reinterpret_cast<T>(static_cast<uintptr_t>(word));
  } else {
    return static_cast<T>(static_cast<typename std::make_unsigned<T>::type>(word));
  }
}

// A result as it goes back in EAX: signed values sign-extended.
template <class R>
uint32_t ToWord(R value) {
  if constexpr (std::is_pointer<R>::value) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
  } else if constexpr (std::is_signed<R>::value) {
    return static_cast<uint32_t>(static_cast<int32_t>(value));
  } else {
    return static_cast<uint32_t>(value);
  }
}

template <class R, class... A, size_t... I>
uint32_t CallWithWords(R (*operation)(A...), const uint32_t* words, std::index_sequence<I...>) {
  (void)words;
  if constexpr (std::is_void<R>::value) {
    operation(FromWord<A>(words[I])...);
    return 0;
  } else {
    return ToWord(operation(FromWord<A>(words[I])...));
  }
}

// Calls an implementation with the caller's argument words (`words` points
// at the first) and answers its result as the EAX word; 0 for void.
template <class R, class... A>
uint32_t CallWithWords(R (*operation)(A...), const uint32_t* words) {
  return CallWithWords(operation, words, std::index_sequence_for<A...>{});
}

}  // namespace media_interface
