#include "player/session.h"

MovieSession movieSession;
UINT_PTR playbackTimer;
WNDPROC savedWindowProc;

void CloseMovie(MovieSession& session) {
  // Restore the window procedure first, so no message reaches
  // MovieWindowProc while the movie is being taken apart.
  if (savedWindowProc) {
    SetWindowLongA(session.hostWindow, GWL_WNDPROC, reinterpret_cast<LONG>(savedWindowProc));
    savedWindowProc = nullptr;
  }
  KillTimer(session.hostWindow, kPlaybackTimerId);
  playbackTimer = 0;

  Movie movie = session.movie;
  session.movie = nullptr;
  Rect box = {0, 0, 0, 0};
  GetMovieBox(movie, &box);
  if (!IsMovieDone(movie)) StopMovie(movie);
  DisposeMovie(movie);

  RECT area = {box.left, box.top, box.right, box.bottom};
  InvalidateRect(session.hostWindow, &area, TRUE);

  if (session.port) {
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
