// Decoding, the movie clock and drawing, through the dispatcher.
#include <gtest/gtest.h>

#include "tests/engine_harness.h"

using namespace enginetest;

TEST(EnginePlayback, Placeholder) {}
