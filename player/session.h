// Ending a movie session.
#pragma once
#include "player/core.h"

// Tears the session down, whatever part of it exists: gives the window its
// procedure back, kills the timer, silences and disposes of the movie and
// has the host repaint its area, releases the port and closes the file.
// Closing a session and undoing a Play that failed halfway both end here.
void CloseMovie(MovieSession& session);

// Closes the session if a movie is open and its timer runs; clears finished.
void StopSession();

// Closes a movie that has played to its end. Runs before every external call.
void DisposeFinishedMovie();

// Stops a movie that has not played to its end, so no sound goes on.
void SilenceMovie(Movie movie);

// The movie's box as a window rectangle: where it is drawn in the host
// window.
RECT MovieArea(Movie movie);
