// Movie times as hours:minutes:seconds.frames text. The frame field counts
// video frames within the second at the movie's average frame rate.
// Platform-free.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Formats time (in units of scale per second) into buffer; the frame field is
// rounded up. Returns buffer. buffer must hold at least 32 characters.
char* TimeToText(int32_t time, int32_t scale, double fps, char* buffer);

// As TimeToText, but the frame field is truncated.
char* DurationToText(int32_t duration, int32_t scale, double fps, char* buffer);

// Reads time code text (the last separator may be '.', ';', ':' or ',') into a
// time value. Unreadable text, or a null text, gives 0. Text longer than 23
// characters is read as its first 23.
int32_t TextToTime(int32_t scale, double fps, const char* text);
