// MovieWindowProc: hands every message to the host's own procedure and, around
// it, gives the movie its time, starts it after Play and notices its end.
#include "player/window_proc.h"

#include "player/core.h"
#include "player/session.h"

namespace {

class CurrentPort {
 public:
  CurrentPort() {
    GetGWorld(&savedPort_, &savedDevice_);
    SetGWorld(movieSession.port, nullptr);
  }
  ~CurrentPort() { SetGWorld(savedPort_, savedDevice_); }
  CurrentPort(const CurrentPort&) = delete;
  CurrentPort& operator=(const CurrentPort&) = delete;

 private:
  CGrafPtr savedPort_ = nullptr;
  GDHandle savedDevice_ = nullptr;
};

LRESULT CallHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // The host's procedure may run scripts that call back into the plug-in;
  // nothing it throws may unwind through the system's dispatch.
  try {
    WNDPROC own = savedWindowProc ? savedWindowProc : DefWindowProcA;
    return CallWindowProcA(own, window, message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

}  // namespace

void InstallMovieWindowProc() {
  if (savedWindowProc) return;
  savedWindowProc = reinterpret_cast<WNDPROC>(GetWindowLongA(movieSession.hostWindow, GWL_WNDPROC));
  SetWindowLongA(movieSession.hostWindow, GWL_WNDPROC, reinterpret_cast<LONG>(MovieWindowProc));
}

void RemoveMovieWindowProc() {
  if (!savedWindowProc) return;
  SetWindowLongA(movieSession.hostWindow, GWL_WNDPROC, reinterpret_cast<LONG>(savedWindowProc));
  savedWindowProc = nullptr;
}

LRESULT CALLBACK MovieWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!movieSession.movie || movieSession.finished) {
    if (savedWindowProc) {
      WNDPROC own = savedWindowProc;
      RemoveMovieWindowProc();
      return CallWindowProcA(own, window, message, wParam, lParam);
    }
    return CallWindowProcA(DefWindowProcA, window, message, wParam, lParam);
  }

  {
    CurrentPort port;
    if (message == WM_DESTROY) {
      movieSession.finished = true;
      // The movie is closed at the next external call, which may be long in
      // coming: its sound must not play on from a window that is gone.
      SilenceMovie(movieSession.movie);
    } else if (message == WM_PAINT) {
      // Keep the host from painting over the movie.
      RECT area = MovieArea(movieSession.movie);
      UpdateMovie(movieSession.movie);
      ValidateRect(movieSession.hostWindow, &area);
    }
  }

  LRESULT result = CallHostProc(window, message, wParam, lParam);

  // Read the session afresh: the host's procedure may have stopped this
  // movie or started another. With no movie left there is no port to make
  // current either.
  if (message != WM_DESTROY && message != WM_ENTERSIZEMOVE && movieSession.movie) {
    CurrentPort port;
    Movie movie = movieSession.movie;
    if (movieSession.startPending) {
      movieSession.startPending = false;
      SetMovieRate(movie, movieSession.rateFixed);
    }
    MoviesTask(movie, 0);
    movieSession.finished = IsMovieDone(movie) ? 1 : 0;
    if (movieSession.finished) {
      // The host paints over the last frame.
      RECT area = MovieArea(movie);
      InvalidateRect(movieSession.hostWindow, &area, TRUE);
    }
  }
  return result;
}
