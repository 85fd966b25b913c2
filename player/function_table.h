// The numbered external functions the host can call.
#pragma once
#include "host/call_record.h"
#include "host/parameters.h"

typedef void (*ExternalFunction)(const CallParameters& parameters, HostHandle result);

constexpr int kFunctionCount = 13;

// Slots 0..12; empty (null) until the first accepted initialisation.
extern ExternalFunction functionTable[kFunctionCount];

void FillFunctionTable();
