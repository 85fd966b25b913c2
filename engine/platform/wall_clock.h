// Seconds on the machine's steady clock: what the movie clocks run by and
// what the sound device's start is timed against.
#pragma once

namespace vmedia {

double WallSeconds();

}  // namespace vmedia
