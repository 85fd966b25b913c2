// Names and argument counts of the operations, for the engine's log and for
// readable test failures.
#pragma once
#include <stdint.h>

#include "quicktime/operations.h"

inline const char* SelectorName(uint32_t selector) {
  switch (selector) {
#define TE_SELECTOR_NAME(name, value) \
  case value:                         \
    return #name;
    QT_SELECTORS(TE_SELECTOR_NAME)
#undef TE_SELECTOR_NAME
  }
  return "unknown";
}

// Words each operation takes from the caller's stack; -1 for an unknown one.
inline int SelectorArgumentCount(uint32_t selector) {
  switch (selector) {
    case kSel_StopMovie: case kSel_GetMovieTimeBase: case kSel_UpdateMovie:
    case kSel_DisposeMovie: case kSel_GetMovieTimeScale: case kSel_GetMovieDuration:
    case kSel_GetMovieVolume: case kSel_GetTimeBaseFlags: case kSel_CloseMovieFile:
    case kSel_IsMovieDone: case kSel_HLock: case kSel_HUnlock: case kSel_GetHandleSize:
    case kSel_DestroyPortAssociation: case kSel_EmptyRect: case kSel_KillPicture:
    case kSel_MovieDisplayRectChanged: case kSel_CloseComponent:
      return 1;
    case kSel_ComponentRequest: case kSel_MoviesTask: case kSel_SetMovieActive:
    case kSel_GetMoviePict: case kSel_SetMovieRate: case kSel_SetMovieVolume:
    case kSel_GetMovieTime: case kSel_SetMovieTimeValue: case kSel_SetTimeBaseFlags:
    case kSel_GetMovieBox: case kSel_SetMovieBox: case kSel_X2FixDispatch:
    case kSel_GetGWorld: case kSel_SetGWorld:
      return 2;
    case kSel_OpenADefaultComponent: case kSel_PrerollMovie: case kSel_SetMovieGWorld:
    case kSel_SetMovieActiveSegment: case kSel_OpenMovieFile: case kSel_SetMoviePlayHints:
    case kSel_BlockMoveData: case kSel_CreatePortAssociation: case kSel_NativePathNameToFSSpec:
      return 3;
    case kSel_PrePrerollMovie:
      return 5;
    case kSel_NewMovieFromFile:
      return 6;
    case kSel_GetMovieNextInterestingTime:
      return 8;
  }
  return -1;
}
