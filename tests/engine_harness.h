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

// Pixels of a PICT as the engine writes it: version 2, one DirectBitsRect
// of 32-bit pixels in PackBits-packed component planes. Empty if the
// bytes are not that.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // R, G, B per pixel
};

inline Picture ReadPict(const uint8_t* p, size_t n) {
  Picture pic;
  auto be16 = [&](size_t at) { return at + 2 <= n ? (p[at] << 8) | p[at + 1] : -1; };
  if (n < 120 || be16(10) != 0x0011 || be16(12) != 0x02FF) return pic;
  int height = be16(6) - be16(2), width = be16(8) - be16(4);
  size_t at = 14 + 26 + 12;  // headers and the clip region
  if (be16(at) != 0x009A) return pic;
  int rowBytes = be16(at + 6) & 0x3FFF;
  int pixWidth = be16(at + 14) - be16(at + 10);
  at += 2 + 4 + 2 + 8 + 36 + 8 + 8 + 2;
  pic.width = width;
  pic.height = height;
  pic.rgb.resize(size_t(width) * height * 3);
  std::vector<uint8_t> planes;
  for (int y = 0; y < height; ++y) {
    size_t len = rowBytes > 250 ? size_t(be16(at)) : p[at];
    at += rowBytes > 250 ? 2 : 1;
    size_t end = at + len;
    if (end > n) return Picture();
    planes.clear();
    while (at < end) {
      int c = static_cast<int8_t>(p[at++]);
      if (c >= 0) {
        planes.insert(planes.end(), p + at, p + at + c + 1);
        at += c + 1;
      } else {
        planes.insert(planes.end(), size_t(1 - c), p[at++]);
      }
    }
    if (planes.size() < size_t(pixWidth) * 3) return Picture();
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) pic.rgb[(size_t(y) * width + x) * 3 + c] = planes[size_t(c) * pixWidth + x];
  }
  return pic;
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
