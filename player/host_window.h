// Finding the host's frontmost document window, and the procedure that
// drives the movie from that window's messages.
#pragma once
#include <windows.h>

HWND FindHostWindow();
BOOL CALLBACK MatchMainWindow(HWND window, LPARAM mainWindow);
BOOL CALLBACK MatchMDIClient(HWND window, LPARAM result);
LRESULT CALLBACK MovieWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Puts MovieWindowProc on the host window unless it is already there.
void InstallMovieWindowProc();
// Gives the host window its own procedure back, if ours is installed.
void RemoveMovieWindowProc();
