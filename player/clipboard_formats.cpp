#include "player/clipboard_formats.h"

namespace {

const char* const kFormatNames[kFormatCount] = {"Mac-PICT", "Mac-JPEG", "Mac-SIZE", "Mac-LIST"};

}  // namespace

UINT clipboardFormats[kFormatCount];

bool DeclareClipboardFormats() {
  // Windows answers the same identifier for a name each time, so a format
  // declared once keeps it.
  for (int i = 0; i < kFormatCount; ++i) {
    if (clipboardFormats[i] == 0) clipboardFormats[i] = RegisterClipboardFormatA(kFormatNames[i]);
  }
  return clipboardFormats[kFormatPICT] && clipboardFormats[kFormatSIZE] && clipboardFormats[kFormatLIST];
}
