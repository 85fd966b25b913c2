// The engine's implementation of every media operation, declared from the
// operation list, so each takes exactly the arguments the gate's callers
// push. The dispatcher (dispatch.cpp) calls them with the caller's words.
#pragma once
#include "media_interface/operations.h"

namespace vmedia {
namespace operations {

MEDIA_OPERATIONS(MEDIA_DECLARE_OPERATION)

}  // namespace operations
}  // namespace vmedia
