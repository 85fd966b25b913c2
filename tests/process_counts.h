// What the process holds right now: kernel handles, GDI and USER objects,
// private memory, threads and windows. Soak runs compare two readings.
//
// Under Wine GetProcessHandleCount, GetGuiResources and PrivateUsage answer
// nothing; the handles then come from the system's handle list, the GDI
// objects from Wine's GDI handle table, and the private memory from the
// committed private pages. USER objects stay unknown (-1) there: windows
// (all windows of the process's threads, children included) stands in for
// the ones that matter to the plug-in.
#pragma once
#include <windows.h>

#include <stdint.h>

#include <string>

namespace soak {

struct ProcessCounts {
  long handles = 0;
  long gdiObjects = -1;
  long userObjects = -1;
  long windows = 0;
  long threads = 0;
  int64_t privateBytes = 0;     // PrivateUsage, or committed private pages
  int64_t peakWorkingSet = 0;   // PeakWorkingSetSize
};

ProcessCounts ReadProcessCounts();

// "before -> after (+growth)" for one figure; "n/a" when unknown.
std::string Change(long before, long after);
std::string ChangeBytes(int64_t before, int64_t after);

}  // namespace soak
