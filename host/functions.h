// The external functions, one per slot of the function table.
#pragma once
#include "host/call_record.h"

void GetDurationFunction(HostHandle parameters, HostHandle result);    // 0
void GetRateFunction(HostHandle parameters, HostHandle result);        // 1
void GetTimeFunction(HostHandle parameters, HostHandle result);        // 2
void GetVideoFrameFunction(HostHandle parameters, HostHandle result);  // 3
void GetVideoSizeFunction(HostHandle parameters, HostHandle result);   // 4
void GetVolumeFunction(HostHandle parameters, HostHandle result);      // 5
void PlayFunction(HostHandle parameters, HostHandle result);           // 6
void SetRateFunction(HostHandle parameters, HostHandle result);        // 8
void SetTimeFunction(HostHandle parameters, HostHandle result);        // 9
void SetVolumeFunction(HostHandle parameters, HostHandle result);      // 10
void StopFunction(HostHandle parameters, HostHandle result);           // 11
void VersionFunction(HostHandle parameters, HostHandle result);        // 12
