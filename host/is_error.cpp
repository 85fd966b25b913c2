#include "host/is_error.h"

#include <stdio.h>
#include <string.h>

#include "host/parameters.h"

void RaiseError(int32_t code) { throw ISError{code, -1, 0}; }

void WriteErrorCode(HostHandle result, int32_t code) {
  char text[16];
  int length = snprintf(text, sizeof text, "%ld", static_cast<long>(code));
  SetResultText(result, text, length);
}
