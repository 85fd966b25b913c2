// Composing library paths in fixed buffers without ever overrunning them or
// cutting a path short. Free of windows.h so it builds and is tested natively.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Appends text when all of it and the terminator fit; otherwise leaves the
// buffer unchanged and answers false.
bool AppendText(char* buffer, size_t capacity, const char* text);

// Cuts a full path after its last backslash or slash and appends name.
// False, buffer unchanged, when there is no separator or name does not fit.
bool ReplaceFileName(char* path, size_t capacity, const char* name);

bool EndsWithSeparator(const char* text);

// Makes a registry value of `size` bytes read into buffer a terminated text.
// False when it would need one byte more than the buffer holds.
bool TerminateValueText(char* buffer, size_t capacity, uint32_t size);
