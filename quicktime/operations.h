// The media operations the plug-in uses, with QuickTime's names, argument
// lists and selectors. The plug-in reaches each one through a gate entry of
// the same name (quicktime/gate_entries.S); an engine that the gate binds
// implements them behind its dispatcher, keyed by selector.
//
// Every argument is one 32-bit word on the stack (cdecl); 16-bit and 8-bit
// arguments are widened by the caller, so an engine reads them from the low
// bits of their word. Results come back in EAX (AX for a status, AL for a
// Boolean).
#pragma once

// The gate's assembler source includes this file for the selector list
// alone; everything else is for C and C++.
#ifndef __ASSEMBLER__
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int16_t OSErr;
typedef int32_t TimeValue;
typedef int32_t TimeScale;
typedef int32_t Fixed;          // signed 16.16
typedef uint32_t OSType;
typedef uint8_t Boolean;
typedef int32_t ComponentResult;

typedef struct MovieRecord* Movie;
typedef struct TimeBaseRecord* TimeBase;
typedef struct GrafPortRecord* CGrafPtr;
typedef struct GDeviceRecord** GDHandle;
typedef char** Handle;
typedef struct PictureRecord** PicHandle;
typedef struct ComponentInstanceRecord* ComponentInstance;

// QuickDraw rectangle: top, left, bottom, right.
typedef struct Rect {
  int16_t top;
  int16_t left;
  int16_t bottom;
  int16_t right;
} Rect;

// A file reference (FSSpec) as QuickTime lays it out (70 bytes). What the fields
// hold is the engine's business; the plug-in only passes it along.
#pragma pack(push, 2)
typedef struct FSSpec {
  int16_t vRefNum;
  int32_t parID;
  uint8_t name[64];
} FSSpec;
#pragma pack(pop)

// The parameter block of a component request with one 4-byte parameter.
#pragma pack(push, 1)
typedef struct ComponentParameters {
  uint8_t flags;         // always 0
  uint8_t paramSize;     // 4
  int16_t what;          // request number
  uint32_t param;        // the one parameter
} ComponentParameters;
#pragma pack(pop)

#define QT_FOUR_CC(a, b, c, d) \
  (((uint32_t)(a) << 24) | ((uint32_t)(b) << 16) | ((uint32_t)(c) << 8) | (uint32_t)(d))

enum {
  qtNotBound = -2095,             // status of every operation while no engine is bound
  fsRdPerm = 1,
  hintsLoop = 2,
  loopTimeBase = 1,
  palindromeLoopTimeBase = 2,
  nextTimeMediaSample = 0x0001,
  nextTimeStep = 0x0010,
  nextTimeEdgeOK = 0x4000,
  kGraphicsExportSetInputPictureSelect = 0x002F,
  kGraphicsExportGetInputImageDimensionsSelect = 0x003B
};

#define VideoMediaType QT_FOUR_CC('v', 'i', 'd', 'e')
#define GraphicsExporterComponentType QT_FOUR_CC('g', 'r', 'e', 'x')
#define kQTFileTypePicture QT_FOUR_CC('P', 'I', 'C', 'T')

#endif  // !__ASSEMBLER__

// Selectors: routine group in the high 16 bits, routine number in the low.
#define QT_SELECTORS(X)                                   \
  X(ComponentRequest, 0x00010000)                         \
  X(CloseComponent, 0x00010008)                           \
  X(OpenADefaultComponent, 0x0001002E)                    \
  X(MoviesTask, 0x00020005)                               \
  X(PrerollMovie, 0x00020006)                             \
  X(SetMovieActive, 0x00020009)                           \
  X(StopMovie, 0x0002000C)                                \
  X(GetMovieTimeBase, 0x00020012)                         \
  X(SetMovieGWorld, 0x00020016)                           \
  X(GetMoviePict, 0x0002001D)                             \
  X(UpdateMovie, 0x0002001F)                              \
  X(DisposeMovie, 0x00020023)                             \
  X(GetMovieTimeScale, 0x00020029)                        \
  X(GetMovieDuration, 0x0002002B)                         \
  X(SetMovieRate, 0x0002002D)                             \
  X(GetMovieVolume, 0x0002002E)                           \
  X(SetMovieVolume, 0x0002002F)                           \
  X(GetMovieTime, 0x00020039)                             \
  X(SetMovieTimeValue, 0x0002003D)                        \
  X(GetTimeBaseFlags, 0x000200B1)                         \
  X(SetTimeBaseFlags, 0x000200B2)                         \
  X(CloseMovieFile, 0x000200D5)                           \
  X(IsMovieDone, 0x000200DD)                              \
  X(NewMovieFromFile, 0x000200F0)                         \
  X(GetMovieBox, 0x000200F9)                              \
  X(SetMovieBox, 0x000200FA)                              \
  X(GetMovieNextInterestingTime, 0x0002010E)              \
  X(SetMovieActiveSegment, 0x0002015C)                    \
  X(OpenMovieFile, 0x00020192)                            \
  X(SetMoviePlayHints, 0x000201A1)                        \
  X(PrePrerollMovie, 0x000202F7)                          \
  X(X2FixDispatch, 0x00100011)                            \
  X(HLock, 0x00150019)                                    \
  X(HUnlock, 0x0015001A)                                  \
  X(GetHandleSize, 0x00150034)                            \
  X(BlockMoveData, 0x0015003F)                            \
  X(GetGWorld, 0x001C0006)                                \
  X(SetGWorld, 0x001C0007)                                \
  X(CreatePortAssociation, 0x001D0001)                    \
  X(DestroyPortAssociation, 0x001D0002)                   \
  X(NativePathNameToFSSpec, 0x001D002E)                   \
  X(EmptyRect, 0x001E002B)                                \
  X(KillPicture, 0x001E0060)                              \
  X(MovieDisplayRectChanged, 0x002A0009)

#ifndef __ASSEMBLER__
enum QTSelector {
#define QT_SELECTOR_ENUM(name, value) kSel_##name = value,
  QT_SELECTORS(QT_SELECTOR_ENUM)
#undef QT_SELECTOR_ENUM
};

enum { kQTOperationCount = 44 };

// --- Component manager
ComponentResult ComponentRequest(ComponentInstance ci, ComponentParameters* params);
OSErr CloseComponent(ComponentInstance ci);
OSErr OpenADefaultComponent(OSType componentType, OSType componentSubType, ComponentInstance* ci);

// --- Movies
void MoviesTask(Movie m, int32_t maxMilliSecToUse);
OSErr PrerollMovie(Movie m, TimeValue time, Fixed rate);
void SetMovieActive(Movie m, Boolean active);
void StopMovie(Movie m);
TimeBase GetMovieTimeBase(Movie m);
void SetMovieGWorld(Movie m, CGrafPtr port, GDHandle gdh);
PicHandle GetMoviePict(Movie m, TimeValue time);
OSErr UpdateMovie(Movie m);
void DisposeMovie(Movie m);
TimeScale GetMovieTimeScale(Movie m);
TimeValue GetMovieDuration(Movie m);
void SetMovieRate(Movie m, Fixed rate);
int16_t GetMovieVolume(Movie m);
void SetMovieVolume(Movie m, int16_t volume);
TimeValue GetMovieTime(Movie m, void* timeRecord);
void SetMovieTimeValue(Movie m, TimeValue time);
int32_t GetTimeBaseFlags(TimeBase tb);
void SetTimeBaseFlags(TimeBase tb, int32_t flags);
OSErr CloseMovieFile(int16_t resRefNum);
Boolean IsMovieDone(Movie m);
OSErr NewMovieFromFile(Movie* m, int16_t resRefNum, int16_t* resId, uint8_t* resName,
                       int16_t newMovieFlags, Boolean* dataRefWasChanged);
void GetMovieBox(Movie m, Rect* box);
void SetMovieBox(Movie m, const Rect* box);
void GetMovieNextInterestingTime(Movie m, int16_t interestingTimeFlags, int16_t numMediaTypes,
                                 const OSType* whichMediaTypes, TimeValue time, Fixed rate,
                                 TimeValue* interestingTime, TimeValue* interestingDuration);
void SetMovieActiveSegment(Movie m, TimeValue startTime, TimeValue duration);
OSErr OpenMovieFile(const FSSpec* spec, int16_t* resRefNum, int8_t permission);
void SetMoviePlayHints(Movie m, int32_t flags, int32_t flagsMask);
OSErr PrePrerollMovie(Movie m, TimeValue time, Fixed rate, void* proc, void* refCon);

// --- Fixed point: reached only through the X2Fix adapter (quicktime/adapters.h).
void X2FixDispatch(Fixed* result, const double* x);

// --- Memory
void HLock(Handle h);
void HUnlock(Handle h);
int32_t GetHandleSize(Handle h);
void BlockMoveData(const void* source, void* destination, int32_t count);

// --- Graphics ports
void GetGWorld(CGrafPtr* port, GDHandle* gdh);
void SetGWorld(CGrafPtr port, GDHandle gdh);
CGrafPtr CreatePortAssociation(void* window, void* storage, int32_t flags);
void DestroyPortAssociation(CGrafPtr port);
OSErr NativePathNameToFSSpec(const char* path, FSSpec* spec, int32_t flags);

// --- QuickDraw
Boolean EmptyRect(const Rect* r);
void KillPicture(PicHandle pic);
// Tells the media layer the rectangle the movie is shown in, while the
// window's port is current; nothing in the plug-in depends on its effect.
void MovieDisplayRectChanged(const Rect* displayRect);

#ifdef __cplusplus
}
#endif
#endif  // !__ASSEMBLER__
