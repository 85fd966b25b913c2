// Ending a movie session.
#pragma once
#include "player/core.h"

// Tears the session down: gives the window its procedure back, kills the
// timer, disposes of the movie, releases the port and closes the file.
void CloseMovie(MovieSession& session);

// Closes the session if a movie is open and its timer runs; clears finished.
void StopSession();

// Closes a movie that has played to its end. Runs before every external call.
void DisposeFinishedMovie();
