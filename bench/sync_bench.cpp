// The picture's side of the A/V benchmark: plays a movie whose every whole
// second shows a flash (four frames; the left half white, the right half
// grey level 32 (k mod 6) + 16 for second k) through the plug-in, reads the
// document window's pixels back after every message and at least every
// millisecond, and prints the wall time at which each flash was first drawn:
//
//   flash PHASE STEP CODE UNIX_SECONDS      (CODE: the second mod 6)
//
// GetSystemTimePreciseAsFileTime is CLOCK_REALTIME under Wine, the clock the
// recorder on the Linux side notes for the beeps. Asserts nothing.
//
//   sync_bench.exe MOVIE LONG_SECONDS
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "bench/measure.h"
#include "tests/host_rig.h"

namespace {

const int kWidth = 160, kHeight = 120;

double WallNow() {
  using Precise = void(WINAPI*)(FILETIME*);
  // Windows 8 and later, and Wine; older systems have the coarse one only.
  static Precise precise = reinterpret_cast<Precise>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
  FILETIME ft;
  if (precise)
    precise(&ft);
  else
    GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  return (static_cast<double>(t.QuadPart) - 116444736000000000.0) / 1e7;
}

class Watcher {
 public:
  Watcher(rig::HostRig& host, std::string movie) : host_(host), movie_(std::move(movie)) {}

  std::string Play(const std::string& args) {
    lit_ = false;
    std::string answer = host_.Call("Vantoro-Play", movie_ + args + "|0|0|" + std::to_string(kWidth) + "|" +
                                                        std::to_string(kHeight));
    if (!answer.empty()) fprintf(stderr, "Vantoro-Play %s answered %s\n", args.c_str(), answer.c_str());
    return answer;
  }
  std::string Call(const std::string& name, const std::string& args = "") { return host_.Call(name, args); }

  // Runs the host's loop for `seconds`, or until `flashes` more flashes have
  // been drawn.
  void Watch(const char* phase, int step, double seconds, int flashes = 1 << 30) {
    double end = Now() + seconds;
    while (Now() < end && flashes > 0) {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        if (Look(phase, step)) --flashes;
      }
      if (Look(phase, step)) --flashes;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
  }

  // Lets the last flash's beep be heard, stops, and lets the window repaint
  // and the sound die away: a beep that follows starts from silence.
  void Rest() {
    host_.windows.Pump(500);
    Call("Vantoro-Stop");
    InvalidateRect(host_.document, nullptr, TRUE);
    host_.windows.Pump(700);
  }

 private:
  // A flash's first drawing: the left half white, the right half a coded
  // grey (the window's own background is lighter than any code).
  bool Look(const char* phase, int step) {
    double t = WallNow();
    COLORREF left = PixelAt(host_.document, kWidth / 4, kHeight / 2);
    bool lit = GetGValue(left) > 200;
    if (lit == lit_) return false;
    lit_ = lit;
    if (!lit) return false;
    COLORREF right = PixelAt(host_.document, 3 * kWidth / 4, kHeight / 2);
    if (GetGValue(right) > 200) {  // the background, not a flash
      lit_ = false;
      return false;
    }
    // Level k is luma 32k + 16, whether or not it was squeezed to video range.
    printf("flash %s %d %d %.6f\n", phase, step, GetGValue(right) / 32, t);
    fflush(stdout);
    return true;
  }

  rig::HostRig& host_;
  std::string movie_;
  bool lit_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: sync_bench.exe MOVIE LONG_SECONDS\n");
    return 2;
  }
  const int longSeconds = atoi(argv[2]);
  rig::HostRig host;
  std::string error;
  if (!host.Open(Folder(), &error)) {
    fprintf(stderr, "cannot set up the host: %s\n", error.c_str());
    return 1;
  }
  Watcher w(host, argv[1]);
  host.windows.Pump(300);

  // From the movie's start, three times: the flash and beep at 0 s are its
  // first frame and first sound.
  for (int i = 0; i < 3; ++i) {
    if (!w.Play("|0|1||").empty()) return 1;
    w.Watch("start", i, 3, 2);
    w.Rest();
  }
  // SetTime to 0.4 s before seconds 20, 15 and 25 while playing from 10 s.
  if (!w.Play("|0|1|00:00:10.00|").empty()) return 1;
  w.Watch("before", 0, 3, 1);
  const int targets[] = {20, 15, 25};
  for (int i = 0; i < 3; ++i) {
    char code[16];
    snprintf(code, sizeof code, "00:00:%02d.15", targets[i] - 1);  // 15 frames of 25: 0.6 s
    w.Call("Vantoro-SetTime", code);
    w.Watch("settime", i, 3, 1);
    w.Watch("settime-next", i, 0.5);
  }
  w.Rest();
  // A looped segment from 30 s to 31.48 s: second 30 comes back at each wrap.
  if (!w.Play("|1|1|00:00:30.00|00:00:31.12").empty()) return 1;  // 12 frames: 0.48 s
  for (int lap = 0; lap < 4; ++lap) w.Watch("loop", lap, 3, 2);
  w.Rest();
  // SetRate 2 after second 36, SetRate 0.5 after second 39.
  if (!w.Play("|0|1|00:00:35.00|").empty()) return 1;
  w.Watch("before", 1, 3, 2);
  host.windows.Pump(200);
  w.Call("Vantoro-SetRate", "2");
  w.Watch("rate2", 0, 4, 3);
  host.windows.Pump(150);
  w.Call("Vantoro-SetRate", "0.5");
  w.Watch("rate0.5", 0, 6, 2);
  w.Rest();
  // The long run from 45 s, one step a second.
  if (!w.Play("|0|1|00:00:45.00|").empty()) return 1;
  double start = Now();
  for (int step = 0; Now() - start < longSeconds; ++step) w.Watch("long", step, 2, 1);
  w.Rest();
  host.Close();
  return 0;
}
