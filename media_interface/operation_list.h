// The one list of media operations, with QuickTime's names, selectors and
// argument lists. Everything else about an operation is derived from it: the
// gate's entries (quicktime/gate_entries.S), the declarations callers use
// (operations.h), and how an engine reads the arguments and answers
// (operation_shapes.h), in our engine and in the test engine alike.
//
// X(name, selector, result, (parameters)). A selector has the routine group
// in its high 16 bits and the routine number in its low 16 bits. Every
// parameter is one 32-bit word on the stack (cdecl); 16-bit and 8-bit ones
// are widened by the caller, so an engine reads their low bits. The result
// comes back in EAX (AX for a status, AL for a Boolean); `void` answers
// nothing.
//
// Plain text to the preprocessor, so the gate's assembler source can use it.
#pragma once

#define MEDIA_OPERATIONS(X)                                                                          \
  /* Component manager */                                                                            \
  X(ComponentRequest, 0x00010000, ComponentResult, (ComponentInstance ci, ComponentParameters* params)) \
  X(CloseComponent, 0x00010008, OSErr, (ComponentInstance ci))                                        \
  X(OpenADefaultComponent, 0x0001002E, OSErr,                                                        \
    (OSType componentType, OSType componentSubType, ComponentInstance* ci))                          \
  /* Movies */                                                                                       \
  X(MoviesTask, 0x00020005, void, (Movie m, int32_t maxMilliSecToUse))                               \
  X(PrerollMovie, 0x00020006, OSErr, (Movie m, TimeValue time, Fixed rate))                          \
  X(SetMovieActive, 0x00020009, void, (Movie m, Boolean active))                                     \
  X(StopMovie, 0x0002000C, void, (Movie m))                                                          \
  X(GetMovieTimeBase, 0x00020012, TimeBase, (Movie m))                                               \
  X(SetMovieGWorld, 0x00020016, void, (Movie m, CGrafPtr port, GDHandle gdh))                        \
  X(GetMoviePict, 0x0002001D, PicHandle, (Movie m, TimeValue time))                                  \
  X(UpdateMovie, 0x0002001F, OSErr, (Movie m))                                                       \
  X(DisposeMovie, 0x00020023, void, (Movie m))                                                       \
  X(GetMovieTimeScale, 0x00020029, TimeScale, (Movie m))                                             \
  X(GetMovieDuration, 0x0002002B, TimeValue, (Movie m))                                              \
  X(SetMovieRate, 0x0002002D, void, (Movie m, Fixed rate))                                           \
  X(GetMovieVolume, 0x0002002E, int16_t, (Movie m))                                                  \
  X(SetMovieVolume, 0x0002002F, void, (Movie m, int16_t volume))                                     \
  X(GetMovieTime, 0x00020039, TimeValue, (Movie m, void* timeRecord))                                \
  X(SetMovieTimeValue, 0x0002003D, void, (Movie m, TimeValue time))                                  \
  X(GetTimeBaseFlags, 0x000200B1, int32_t, (TimeBase tb))                                            \
  X(SetTimeBaseFlags, 0x000200B2, void, (TimeBase tb, int32_t flags))                                \
  X(CloseMovieFile, 0x000200D5, OSErr, (int16_t resRefNum))                                          \
  X(IsMovieDone, 0x000200DD, Boolean, (Movie m))                                                     \
  X(NewMovieFromFile, 0x000200F0, OSErr,                                                             \
    (Movie* m, int16_t resRefNum, int16_t* resId, uint8_t* resName, int16_t newMovieFlags,           \
     Boolean* dataRefWasChanged))                                                                    \
  X(GetMovieBox, 0x000200F9, void, (Movie m, Rect* box))                                             \
  X(SetMovieBox, 0x000200FA, void, (Movie m, const Rect* box))                                       \
  X(GetMovieNextInterestingTime, 0x0002010E, void,                                                   \
    (Movie m, int16_t interestingTimeFlags, int16_t numMediaTypes, const OSType* whichMediaTypes,    \
     TimeValue time, Fixed rate, TimeValue* interestingTime, TimeValue* interestingDuration))        \
  X(SetMovieActiveSegment, 0x0002015C, void, (Movie m, TimeValue startTime, TimeValue duration))     \
  X(OpenMovieFile, 0x00020192, OSErr, (const FSSpec* spec, int16_t* resRefNum, int8_t permission))   \
  X(SetMoviePlayHints, 0x000201A1, void, (Movie m, int32_t flags, int32_t flagsMask))                \
  X(PrePrerollMovie, 0x000202F7, OSErr, (Movie m, TimeValue time, Fixed rate, void* proc, void* refCon)) \
  /* Fixed point: callers go through the X2Fix adapter (quicktime/adapters.h) */                     \
  X(X2FixDispatch, 0x00100011, void, (Fixed* result, const double* x))                               \
  /* Memory */                                                                                       \
  X(HLock, 0x00150019, void, (Handle h))                                                             \
  X(HUnlock, 0x0015001A, void, (Handle h))                                                           \
  X(GetHandleSize, 0x00150034, int32_t, (Handle h))                                                  \
  X(BlockMoveData, 0x0015003F, void, (const void* source, void* destination, int32_t count))         \
  /* Graphics ports */                                                                               \
  X(GetGWorld, 0x001C0006, void, (CGrafPtr* port, GDHandle* gdh))                                    \
  X(SetGWorld, 0x001C0007, void, (CGrafPtr port, GDHandle gdh))                                      \
  X(CreatePortAssociation, 0x001D0001, CGrafPtr, (void* window, void* storage, int32_t flags))       \
  X(DestroyPortAssociation, 0x001D0002, void, (CGrafPtr port))                                       \
  X(NativePathNameToFSSpec, 0x001D002E, OSErr, (const char* path, FSSpec* spec, int32_t flags))      \
  /* QuickDraw */                                                                                    \
  X(EmptyRect, 0x001E002B, Boolean, (const Rect* r))                                                 \
  X(KillPicture, 0x001E0060, void, (PicHandle pic))                                                  \
  /* Tells the media layer the movie's rectangle while the window's port is */                      \
  /* current; nothing in the plug-in depends on its effect. */                                       \
  X(MovieDisplayRectChanged, 0x002A0009, void, (const Rect* displayRect))
