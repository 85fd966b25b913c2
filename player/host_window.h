// Finding the host's frontmost document window, the window the movie is
// drawn in.
#pragma once
#include <windows.h>

HWND FindHostWindow();
BOOL CALLBACK MatchMainWindow(HWND window, LPARAM mainWindow);
BOOL CALLBACK MatchMDIClient(HWND window, LPARAM result);
