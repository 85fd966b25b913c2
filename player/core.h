// The one movie session and the globals beside it. Everything the playback
// functions share lives here; all of it is used from the host's main thread
// only.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "media_interface/operations.h"

struct MovieSession {
  HWND hostWindow;          // document window the movie is drawn in
  uint8_t finished;         // set when the movie is done or its window destroyed
  Movie movie;              // null: no session
  double framesPerSecond;   // frameCount / (duration / timeScale)
  uint32_t frameCount;
  CGrafPtr port;            // port associated with hostWindow
  CGrafPtr savedPort;       // graphics world current before Play
  GDHandle savedDevice;
  TimeValue duration;
  Fixed rateFixed;          // 16.16, as handed to the media layer
  double rateReal;          // as last asked for by Play or SetRate
  uint8_t startPending;     // start at rateFixed on the next window message
  TimeValue startTime;      // active segment
  TimeValue endTime;
  TimeScale timeScale;
  Rect movieBox;            // the movie's own box, before the display rectangle
  int16_t fileRef;          // open movie file; 0: none
};

extern MovieSession movieSession;
extern UINT_PTR playbackTimer;       // SetTimer's answer; 0 while no timer runs
extern WNDPROC savedWindowProc;      // host window's own procedure while ours is installed

// The playback timer's identifier: 'Vtmr', first character most significant.
constexpr UINT_PTR kPlaybackTimerId = 0x56746D72;
