#include "tests/soak_phases.h"

#include <functional>
#include <memory>

namespace soak {
namespace {

const char kGone[] = "74005";  // no movie open

double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

class Checker {
 public:
  Checker(PhaseResult* result, int cycle) : result_(result), cycle_(cycle) {}
  bool Expect(bool ok, const std::string& what) {
    if (ok) return true;
    if (!failed_) {
      ++result_->failures;
      if (result_->firstFailure.empty())
        result_->firstFailure = "cycle " + std::to_string(cycle_) + ": " + what;
    }
    failed_ = true;
    return false;
  }
  bool Answer(const std::string& got, const std::string& want, const std::string& call) {
    return Expect(got == want, call + " answered \"" + got + "\", not \"" + want + "\"");
  }
  // A time code, not an error code.
  bool Time(const std::string& got, const std::string& call) {
    return Expect(got.size() >= 11 && got[2] == ':', call + " answered \"" + got + "\", not a time");
  }

 private:
  PhaseResult* result_;
  int cycle_;
  bool failed_ = false;
};

// An action hooked on a message in doc's own procedure. insideSession:
// our procedure was in front of the host's when it ran. A hook whose
// message never came is disarmed when its cycle ends, so it cannot act in
// a later one.
struct Hooked {
  bool armed = true;
  bool ran = false;
  bool insideSession = false;
  std::string answer;
};

class Hook {
 public:
  Hook(HWND doc, UINT msg, std::function<std::string()> action) : h_(std::make_shared<Hooked>()) {
    std::shared_ptr<Hooked> h = h_;
    standin::HostWindows::OnMessage(doc, msg, [h, doc, action] {
      if (!h->armed) return;
      h->insideSession = Rig::Subclassed(doc);
      h->answer = action();
      h->ran = true;
    });
  }
  ~Hook() { h_->armed = false; }
  Hook(const Hook&) = delete;
  Hook& operator=(const Hook&) = delete;
  const Hooked* operator->() const { return h_.get(); }

 private:
  std::shared_ptr<Hooked> h_;
};

// Makes msg come to doc soon: the timer brings WM_TIMER by itself.
void Provoke(HWND doc, UINT msg) {
  if (msg == WM_PAINT) InvalidateRect(doc, nullptr, FALSE);
  if (msg == WM_MOUSEMOVE) PostMessageA(doc, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
}

const std::string& Alternate(const Rig& rig, int i) { return i % 2 ? rig.movies.second : rig.movies.first; }

void PlayStop(Rig& rig, int i, Checker& c) {
  if (!c.Answer(rig.Call("Vantoro-Play", Alternate(rig, i) + "|0|1"), "", "Play")) return;
  c.Expect(Rig::Subclassed(rig.document), "Play did not install its procedure");
  rig.windows.Pump((i % 3) * 10);
  c.Answer(rig.Call("Vantoro-Stop"), "", "Stop");
  c.Expect(!Rig::Subclassed(rig.document), "Stop left the procedure installed");
}

void PlayToEnd(Rig& rig, int, Checker& c) {
  if (!c.Answer(rig.Call("Vantoro-Play", rig.movies.tiny), "", "Play")) return;
  bool ended = rig.windows.PumpUntil([&] { return !Rig::Subclassed(rig.document); }, 5000);
  if (!c.Expect(ended, "the movie never ended, at " + rig.Call("Vantoro-GetTime"))) {
    rig.Call("Vantoro-Stop");
    return;
  }
  c.Answer(rig.Call("Vantoro-GetTime"), kGone, "GetTime after the end");
}

void CloseWhilePlaying(Rig& rig, int i, Checker& c) {
  HWND doc = rig.windows.OpenDocument("Closing");
  if (!c.Expect(doc != nullptr, "no document")) return;
  if (c.Answer(rig.Call("Vantoro-Play", Alternate(rig, i) + "|0|1"), "", "Play")) {
    c.Expect(Rig::Subclassed(doc) && !Rig::Subclassed(rig.document), "Play chose the wrong window");
    rig.windows.Pump(30 + (i % 3) * 10);
  }
  standin::HostWindows::ClearSeen(doc);
  rig.windows.CloseDocument(doc);
  c.Expect(!IsWindow(doc), "the document survived its closing");
  c.Answer(rig.Call("Vantoro-GetTime"), kGone, "GetTime after the window closed");
  c.Expect(rig.windows.Frontmost() == rig.document, "the first document is not in front again");
}

const UINT kHookMessages[] = {WM_TIMER, WM_PAINT, WM_MOUSEMOVE};

void StopInWindowProc(Rig& rig, int i, Checker& c) {
  if (!c.Answer(rig.Call("Vantoro-Play", Alternate(rig, i) + "|0|1"), "", "Play")) return;
  UINT msg = kHookMessages[i % 3];
  rig.windows.Pump(i % 2 ? 25 : 0);
  Hook h(rig.document, msg, [&rig] { return rig.Call("Vantoro-Stop"); });
  Provoke(rig.document, msg);
  rig.windows.PumpUntil([&] { return h->ran && !Rig::Subclassed(rig.document); }, 2000);
  c.Expect(h->ran && h->insideSession, "the hook did not run inside the session");
  c.Answer(h->answer, "", "Stop from the window procedure");
  c.Expect(!Rig::Subclassed(rig.document), "the procedure stayed installed");
  c.Answer(rig.Call("Vantoro-GetTime"), kGone, "GetTime after Stop");
}

void PlayInWindowProc(Rig& rig, int i, Checker& c) {
  if (!c.Answer(rig.Call("Vantoro-Play", Alternate(rig, i) + "|0|1"), "", "Play")) return;
  UINT msg = kHookMessages[i % 3];
  rig.windows.Pump(i % 2 ? 25 : 0);
  // The movie the hook plays: another, the tiny one to its end, or a file
  // that does not exist.
  int kind = i % 4;
  std::string next = kind == 2 ? rig.movies.tiny : kind == 3 ? "C:\\no such folder\\movie.mov" : Alternate(rig, i + 1);
  Hook h(rig.document, msg, [&rig, next] { return rig.Call("Vantoro-Play", next + "|0|1"); });
  Provoke(rig.document, msg);
  rig.windows.PumpUntil([&] { return h->ran; }, 2000);
  c.Expect(h->ran && h->insideSession, "the hook did not run inside the session");
  if (kind == 3) {
    c.Answer(h->answer, "72008", "Play of a missing file from the window procedure");
    rig.windows.Pump(10);
    c.Expect(!Rig::Subclassed(rig.document), "the procedure stayed installed after a failed Play");
    c.Answer(rig.Call("Vantoro-GetTime"), kGone, "GetTime after the failed Play");
    return;
  }
  c.Answer(h->answer, "", "Play from the window procedure");
  if (kind == 2) {
    bool ended = rig.windows.PumpUntil([&] { return !Rig::Subclassed(rig.document); }, 5000);
    c.Expect(ended, "the movie Played from the window procedure never ended");
    c.Answer(rig.Call("Vantoro-GetTime"), kGone, "GetTime after the end");
    return;
  }
  rig.windows.Pump(30);
  c.Expect(Rig::Subclassed(rig.document), "the second movie does not play");
  c.Time(rig.Call("Vantoro-GetTime"), "GetTime of the second movie");
  c.Answer(rig.Call("Vantoro-Stop"), "", "Stop");
  c.Expect(!Rig::Subclassed(rig.document), "Stop left the procedure installed");
}

void PlayWhileStarting(Rig& rig, int i, Checker& c) {
  // Back to back: the first movie's decoder is still at work on its preroll.
  c.Answer(rig.Call("Vantoro-Play", Alternate(rig, i) + "|0|1"), "", "first Play");
  c.Answer(rig.Call("Vantoro-Play", Alternate(rig, i + 1) + "|0|1"), "", "second Play");
  rig.windows.Pump(20);
  c.Expect(Rig::Subclassed(rig.document), "the second movie does not play");
  c.Time(rig.Call("Vantoro-GetTime"), "GetTime");

  // From the first message after Play, before the movie has started.
  c.Answer(rig.Call("Vantoro-Play", Alternate(rig, i) + "|0|1"), "", "Play");
  Hook h(rig.document, WM_PAINT, [&rig, i] { return rig.Call("Vantoro-Play", Alternate(rig, i + 1) + "|0|1"); });
  InvalidateRect(rig.document, nullptr, FALSE);
  rig.windows.PumpUntil([&] { return h->ran; }, 2000);
  c.Expect(h->ran && h->insideSession, "the hook did not run inside the session");
  c.Answer(h->answer, "", "Play from the first message");
  rig.windows.Pump(20);
  c.Expect(Rig::Subclassed(rig.document), "the movie Played from the first message does not play");

  // Stopped before it ever started.
  c.Answer(rig.Call("Vantoro-Play", rig.movies.tiny), "", "Play");
  c.Answer(rig.Call("Vantoro-Stop"), "", "Stop right after Play");
  c.Expect(!Rig::Subclassed(rig.document), "Stop left the procedure installed");
  rig.windows.Pump(10);
  c.Answer(rig.Call("Vantoro-GetTime"), kGone, "GetTime after Stop");
}

}  // namespace

const char* PhaseName(Phase phase) {
  switch (phase) {
    case Phase::PlayStop: return "Play/Stop";
    case Phase::PlayToEnd: return "Play to the end";
    case Phase::CloseWhilePlaying: return "close window while playing";
    case Phase::StopInWindowProc: return "Stop from window procedure";
    case Phase::PlayInWindowProc: return "Play from window procedure";
    case Phase::PlayWhileStarting: return "Play while starting";
  }
  return "?";
}

PhaseResult RunPhase(Rig& rig, Phase phase, int cycles) {
  void (*step)(Rig&, int, Checker&) = nullptr;
  switch (phase) {
    case Phase::PlayStop: step = PlayStop; break;
    case Phase::PlayToEnd: step = PlayToEnd; break;
    case Phase::CloseWhilePlaying: step = CloseWhilePlaying; break;
    case Phase::StopInWindowProc: step = StopInWindowProc; break;
    case Phase::PlayInWindowProc: step = PlayInWindowProc; break;
    case Phase::PlayWhileStarting: step = PlayWhileStarting; break;
  }
  PhaseResult result;
  double start = Now();
  for (int i = 0; i < cycles; ++i) {
    Checker checker(&result, i);
    // The stand-in records every message a document sees; keep that from
    // counting as the plug-in's memory.
    standin::HostWindows::ClearSeen(rig.document);
    step(rig, i, checker);
    // Whatever a failed cycle left, the next starts without a session.
    if (Rig::Subclassed(rig.document)) rig.Call("Vantoro-Stop");
    ++result.cycles;
  }
  result.seconds = Now() - start;
  // With no session no timer may still fire into the window. This also
  // lets the last invalidated areas paint.
  standin::HostWindows::ClearSeen(rig.document);
  rig.windows.Pump(70);
  if (standin::HostWindows::CountSeen(rig.document, WM_TIMER) > 0) {
    ++result.failures;
    if (result.firstFailure.empty()) result.firstFailure = "the playback timer still fires after the last cycle";
  }
  return result;
}

}  // namespace soak
