#include "player/result_text.h"

#include <string.h>

#include "host/parameters.h"

char resultText[256];

void AnswerResultText(HostHandle result) {
  SetResultText(result, resultText, static_cast<int32_t>(strlen(resultText)));
}
