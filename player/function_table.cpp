#include "player/function_table.h"

#include "player/external_functions.h"

ExternalFunction functionTable[kFunctionCount];

void FillFunctionTable() {
  functionTable[0] = GetDurationFunction;
  functionTable[1] = GetRateFunction;
  functionTable[2] = GetTimeFunction;
  functionTable[3] = GetVideoFrameFunction;
  functionTable[4] = GetVideoSizeFunction;
  functionTable[5] = GetVolumeFunction;
  functionTable[6] = PlayFunction;
  functionTable[7] = nullptr;
  functionTable[8] = SetRateFunction;
  functionTable[9] = SetTimeFunction;
  functionTable[10] = SetVolumeFunction;
  functionTable[11] = StopFunction;
  functionTable[12] = VersionFunction;
}
