// Vantoro-Version: "1.0", or "Windows" when asked for the platform.
#include <string.h>

#include "host/functions.h"
#include "host/host_record.h"
#include "host/parameters.h"

void VersionFunction(HostHandle parameters, HostHandle result) {
  const char* answer = "1.0";
  char* copy = nullptr;
  if (parameters && HostGetHandleSize(parameters) > 0) {
    copy = CopyParameter(parameters, 1);
    if (copy && strcmp(copy, "platform") == 0) answer = "Windows";
  }
  SetResultText(result, answer, static_cast<int32_t>(strlen(answer)));
  if (copy) HostDisposeBlock(copy);
}
