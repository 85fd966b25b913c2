// Searches in sorted lists of movie times: where video samples and steps
// begin. Platform-free.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace vmedia {

// Index of the last time in `times` at or before t; -1 if none.
int IndexAtOrBefore(const std::vector<int32_t>& times, int64_t t);
// Index of the time in `times` nearest to t; -1 if `times` is empty.
int NearestIndex(const std::vector<int32_t>& times, double t);

// The next time in `times` after t (forward) or before t (backward). With
// `edgeOk` a time equal to t counts. Returns -1 when there is none; the
// interval to the following entry (or to `end`) goes to *length. A walk
// forward over the times asks for each in turn: with `hint`, the entry
// after the last answer is tried before a search (two hours of sound in
// hundredths are 720,000 steps).
int32_t NextTime(const std::vector<int32_t>& times, int32_t t, bool backward, bool edgeOk,
                 int32_t end, int32_t* length, size_t* hint = nullptr);

// Evenly spaced sample times for a stream known only by its frame rate.
std::vector<int32_t> UniformTimes(int32_t duration, int32_t timeScale, double framesPerSecond);

}  // namespace vmedia
