// Drives VantoroMedia.dll the way the plug-in's gate does: selector in EAX,
// the arguments as 32-bit words on the stack, cdecl. Each engine test binary
// includes this once.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

#include "media_interface/operations.h"
#include "tests/pict_reader.h"

namespace enginetest {

// Pushes `count` words (last first), sets EAX and calls `entry`.
static __attribute__((naked, noinline)) uint32_t CallWithSelector(void* entry, uint32_t selector, uint32_t count,
                                                                  const uint32_t* words) {
  __asm__ volatile(
      "pushl %ebp\n\t"
      "movl %esp, %ebp\n\t"
      "pushl %esi\n\t"
      "movl 16(%ebp), %ecx\n\t"
      "movl 20(%ebp), %esi\n\t"
      "1:\n\t"
      "testl %ecx, %ecx\n\t"
      "jz 2f\n\t"
      "decl %ecx\n\t"
      "pushl (%esi,%ecx,4)\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "movl 12(%ebp), %eax\n\t"
      "call *8(%ebp)\n\t"
      "leal -4(%ebp), %esp\n\t"
      "popl %esi\n\t"
      "popl %ebp\n\t"
      "ret\n\t");
}

inline HMODULE Engine() {
  static HMODULE module = LoadLibraryA("VantoroMedia.dll");
  return module;
}

inline void* Dispatcher() { return reinterpret_cast<void*>(GetProcAddress(Engine(), "theQuickTimeDispatcher")); }

template <class T>
uint32_t Word(T v) {
  if constexpr (std::is_pointer_v<T>) return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(v));
  else return static_cast<uint32_t>(v);
}

template <class... A>
uint32_t Op(uint32_t selector, A... args) {
  const uint32_t words[] = {Word(args)..., 0};
  return CallWithSelector(Dispatcher(), selector, sizeof...(A), words);
}

inline int16_t St(uint32_t r) { return static_cast<int16_t>(r & 0xFFFF); }

// Only to keep a broken engine from hanging the run; a slow or emulated
// machine stays far inside it.
constexpr double kDeadline = 30.0;

// A steady clock in seconds, for those deadlines only.
inline double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) / double(f.QuadPart);
}

// Test media are made by the build next to the test binaries.
inline std::string MediaPath(const char* name) { return std::string("engine-media\\") + name; }

struct Opened {
  int16_t pathErr = 0, openErr = 0, movieErr = 0;
  Movie movie = nullptr;
};

// NativePathNameToFSSpec, OpenMovieFile, NewMovieFromFile, CloseMovieFile,
// as the plug-in opens a movie by path.
inline Opened OpenMovie(const std::string& path, int16_t flags = 0) {
  Opened o;
  FSSpec spec = {};
  o.pathErr = St(Op(kSel_NativePathNameToFSSpec, path.c_str(), &spec, 0));
  if (o.pathErr) return o;
  int16_t ref = 0;
  o.openErr = St(Op(kSel_OpenMovieFile, &spec, &ref, 1));
  if (o.openErr) return o;
  int16_t resId = 0;
  Boolean changed = 0;
  o.movieErr = St(Op(kSel_NewMovieFromFile, &o.movie, ref, &resId, 0, flags, &changed));
  Op(kSel_CloseMovieFile, ref);
  return o;
}

// The movie times at which its video frames begin, as a walk over
// next-interesting video samples finds them (at most `most`).
inline std::vector<TimeValue> FrameTimes(Movie m, size_t most = 1000) {
  std::vector<TimeValue> times;
  OSType vide = VideoMediaType;
  TimeValue t = 0, next = 0;
  int16_t flags = nextTimeMediaSample | nextTimeEdgeOK;
  while (times.size() < most) {
    Op(kSel_GetMovieNextInterestingTime, m, flags, 1, &vide, t, 0, &next, 0);
    if (next < 0) break;
    times.push_back(next);
    t = next;
    flags = nextTimeMediaSample;
  }
  return times;
}

// The movie's picture at time t (GetMoviePict), read back from its PICT.
inline Picture PictureAt(Movie m, TimeValue t) {
  auto pict = reinterpret_cast<PicHandle>(Op(kSel_GetMoviePict, m, t));
  if (!pict) return Picture();
  int32_t size = int32_t(Op(kSel_GetHandleSize, pict));
  std::vector<uint8_t> bytes(size);
  Op(kSel_BlockMoveData, *reinterpret_cast<char**>(pict), bytes.data(), size);
  Op(kSel_KillPicture, pict);
  return ReadPict(bytes.data(), bytes.size());
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return bytes;
  DWORD size = GetFileSize(f, nullptr), got = 0;
  bytes.resize(size);
  if (!ReadFile(f, bytes.data(), size, &got, nullptr)) got = 0;
  bytes.resize(got);
  CloseHandle(f);
  return bytes;
}

}  // namespace enginetest
