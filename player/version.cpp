// Vantoro-Version: "1.0", or "Windows" when asked for the platform.
#include <string.h>

#include "player/external_functions.h"

void VersionFunction(const CallParameters& parameters, HostHandle result) {
  // An empty text gives no copy, and neither does a host out of memory: both
  // answer the version.
  ParameterCopy copy(parameters, 1);
  const char* answer = copy.get() && strcmp(copy.get(), "platform") == 0 ? "Windows" : "1.0";
  SetResultText(result, answer, static_cast<int32_t>(strlen(answer)));
}
