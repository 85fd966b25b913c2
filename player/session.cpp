#include "player/session.h"

#include "player/window_proc.h"

MovieSession movieSession;
UINT_PTR playbackTimer;
WNDPROC savedWindowProc;

void CloseMovie(MovieSession& session) {
  // Restore the window procedure first, so no message reaches
  // MovieWindowProc while the movie is being taken apart.
  RemoveMovieWindowProc();
  if (playbackTimer != 0) {
    KillTimer(session.hostWindow, kPlaybackTimerId);
    playbackTimer = 0;
  }

  // Out of the record before the media layer sees it again: whatever runs
  // meanwhile finds no movie to use.
  if (Movie movie = session.movie) {
    session.movie = nullptr;
    RECT area = MovieArea(movie);
    SilenceMovie(movie);
    DisposeMovie(movie);
    // The host paints over the last frame.
    InvalidateRect(session.hostWindow, &area, TRUE);
  }

  if (session.port) {
    // The port is released only once it is no longer the current one.
    SetGWorld(session.savedPort, session.savedDevice);
    DestroyPortAssociation(session.port);
    session.port = nullptr;
    session.hostWindow = nullptr;
  }
  if (session.fileRef != 0) {
    CloseMovieFile(session.fileRef);
    session.fileRef = 0;
  }
}

void StopSession() {
  if (playbackTimer == 0 || !movieSession.movie) return;
  CloseMovie(movieSession);
  movieSession.finished = false;
}

void DisposeFinishedMovie() {
  if (movieSession.movie && movieSession.finished) StopSession();
}

void SilenceMovie(Movie movie) {
  if (!IsMovieDone(movie)) StopMovie(movie);
}

RECT MovieArea(Movie movie) {
  // An engine that cannot answer leaves the box empty.
  Rect box = {0, 0, 0, 0};
  GetMovieBox(movie, &box);
  return RECT{box.left, box.top, box.right, box.bottom};
}
