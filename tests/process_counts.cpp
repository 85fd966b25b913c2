#include "tests/process_counts.h"

#include <psapi.h>
#include <stdio.h>
#include <tlhelp32.h>

#include <vector>

namespace soak {
namespace {

bool UnderWine() {
  static bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

// Wine keeps its GDI objects in a table that the process environment block
// points to (GdiSharedHandleTable, offset 0x94 on 32 bits); an entry in use
// has a non-zero ExtType, the third byte of its type word.
long WineGdiObjects() {
  struct Entry {
    uint64_t object;
    uint32_t owner;
    uint32_t type;
    uint64_t unknown;
  };
  static_assert(sizeof(Entry) == 24, "Wine's GDI_HANDLE_ENTRY");
  const int kEntries = 16384;
  auto* teb = reinterpret_cast<uint8_t*>(NtCurrentTeb());
  auto* peb = *reinterpret_cast<uint8_t**>(teb + 0x30);
  auto* table = *reinterpret_cast<const Entry**>(peb + 0x94);
  if (!table) return -1;
  long n = 0;
  for (int i = 0; i < kEntries; ++i) n += ((table[i].type >> 16) & 0xFF) != 0;
  return n;
}

long GuiObjects(DWORD kind) {
  SetLastError(0);
  DWORD n = GetGuiResources(GetCurrentProcess(), kind);
  if (n == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
    if (kind == GR_GDIOBJECTS && UnderWine()) return WineGdiObjects();
    return -1;
  }
  return static_cast<long>(n);
}

// Wine's GetProcessHandleCount answers 0; the system's handle list has them.
long HandlesFromSystemList() {
  typedef LONG(WINAPI * QuerySystemInformation)(ULONG, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<QuerySystemInformation>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation"));
  if (!query) return -1;
  const ULONG kSystemHandleInformation = 16;
  const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<uint8_t> buffer(1 << 16);
  ULONG got = 0;
  LONG status;
  while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &got)) ==
             kInfoLengthMismatch &&
         buffer.size() < (64u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) return -1;
  // A count, then entries of 16 bytes that begin with the owner's id.
  ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
  DWORD self = GetCurrentProcessId();
  long n = 0;
  for (ULONG i = 0; i < count && 4 + 16 * (i + 1) <= buffer.size(); ++i)
    n += *reinterpret_cast<const ULONG*>(buffer.data() + 4 + 16 * i) == self;
  return n;
}

// Committed private pages, counted region by region.
int64_t CommittedPrivateBytes() {
  int64_t total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const uint8_t* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += static_cast<int64_t>(info.RegionSize);
    const uint8_t* next = static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return total;
}

BOOL CALLBACK CountChild(HWND, LPARAM counter) {
  ++*reinterpret_cast<long*>(counter);
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM counter) {
  ++*reinterpret_cast<long*>(counter);
  EnumChildWindows(window, CountChild, counter);
  return TRUE;
}

// Threads of this process, and the windows those threads own.
void CountThreadsAndWindows(long* threads, long* windows) {
  *threads = 0;
  *windows = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  DWORD self = GetCurrentProcessId();
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != self) continue;
    ++*threads;
    EnumThreadWindows(entry.th32ThreadID, CountTopLevel, reinterpret_cast<LPARAM>(windows));
  }
  CloseHandle(snapshot);
}

}  // namespace

ProcessCounts ReadProcessCounts() {
  ProcessCounts c;
  CountThreadsAndWindows(&c.threads, &c.windows);
  DWORD handles = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &handles)) c.handles = static_cast<long>(handles);
  if (c.handles == 0) c.handles = HandlesFromSystemList();
  c.gdiObjects = GuiObjects(GR_GDIOBJECTS);
  c.userObjects = GuiObjects(GR_USEROBJECTS);
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof memory;
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                           sizeof memory)) {
    c.privateBytes = static_cast<int64_t>(memory.PrivateUsage);
    c.peakWorkingSet = static_cast<int64_t>(memory.PeakWorkingSetSize);
  }
  // Wine leaves PrivateUsage at 0.
  if (c.privateBytes == 0) c.privateBytes = CommittedPrivateBytes();
  return c;
}

std::string Change(long before, long after) {
  if (before < 0 || after < 0) return "n/a";
  char text[64];
  snprintf(text, sizeof text, "%ld -> %ld (%+ld)", before, after, after - before);
  return text;
}

std::string ChangeBytes(int64_t before, int64_t after) {
  char text[96];
  snprintf(text, sizeof text, "%.1f -> %.1f MB (%+lld KB)", before / 1048576.0, after / 1048576.0,
           static_cast<long long>((after - before) / 1024));
  return text;
}

}  // namespace soak
