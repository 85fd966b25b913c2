// MovieWindowProc, which drives the movie from the host window's messages,
// and putting it on that window and taking it off again.
#pragma once
#include <windows.h>

LRESULT CALLBACK MovieWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Puts MovieWindowProc on the host window unless it is already there.
void InstallMovieWindowProc();
// Gives the host window its own procedure back, if ours is installed.
void RemoveMovieWindowProc();
