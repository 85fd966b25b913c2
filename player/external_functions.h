// The external functions, one per slot of the function table. Each receives
// the call's argument text, split once by the dispatcher, and the host's
// result handle.
#pragma once
#include "host/call_record.h"
#include "host/parameters.h"

void GetDurationFunction(const CallParameters& parameters, HostHandle result);    // 0
void GetRateFunction(const CallParameters& parameters, HostHandle result);        // 1
void GetTimeFunction(const CallParameters& parameters, HostHandle result);        // 2
void GetVideoFrameFunction(const CallParameters& parameters, HostHandle result);  // 3
void GetVideoSizeFunction(const CallParameters& parameters, HostHandle result);   // 4
void GetVolumeFunction(const CallParameters& parameters, HostHandle result);      // 5
void PlayFunction(const CallParameters& parameters, HostHandle result);           // 6
void SetRateFunction(const CallParameters& parameters, HostHandle result);        // 8
void SetTimeFunction(const CallParameters& parameters, HostHandle result);        // 9
void SetVolumeFunction(const CallParameters& parameters, HostHandle result);      // 10
void StopFunction(const CallParameters& parameters, HostHandle result);           // 11
void VersionFunction(const CallParameters& parameters, HostHandle result);        // 12
