// The private clipboard formats the frame capture fills, named after their
// Macintosh counterparts.
#pragma once
#include <windows.h>

enum ClipboardFormatIndex { kFormatPICT, kFormatJPEG, kFormatSIZE, kFormatLIST, kFormatCount };

// Identifiers as Windows gave them out; 0 until declared.
extern UINT clipboardFormats[kFormatCount];

// Declares every format that has no identifier yet, in the order PICT, JPEG,
// SIZE, LIST. True when the three that a capture fills have one.
bool DeclareClipboardFormats();
