// Where a function formats the text it answers with, and the step that hands
// that text to the host.
#pragma once
#include "host/call_record.h"

// The answer of the function in progress; nothing in it outlives the call.
extern char resultText[256];

// Writes resultText, as formatted by the function, as its answer.
void AnswerResultText(HostHandle result);
