// The scripted test engine's control interface, shared by the engine DLL and
// its client (testengine/client.h). Plain C types only: the two sides have
// separate runtimes and heaps, so nothing here owns memory across the line.
#pragma once
#include <stdint.h>

#include "media_interface/operations.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { kTestEngineControlVersion = 1, kTestEngineLogArgs = 10 };

// One operation as the engine saw it: the argument words the caller pushed
// (as many as the operation takes, the rest 0) and the EAX it answered.
typedef struct TECall {
  uint32_t selector;
  uint32_t args[kTestEngineLogArgs];
  uint32_t result;
} TECall;

typedef struct TEMovieSpec {
  TimeValue duration;
  TimeScale timeScale;
  Rect box;                      // natural box
  const TimeValue* sampleTimes;  // video sample times, ascending
  uint32_t sampleCount;
  const TimeValue* stepTimes;    // step times, ascending
  uint32_t stepCount;
  int16_t volume;
} TEMovieSpec;

typedef struct TEMovieState {
  uint32_t definition;        // index of the DefineMovie call it was made from
  TimeValue time;
  Fixed rate;
  uint8_t active;
  uint8_t disposed;
  TimeValue segmentStart;
  TimeValue segmentDuration;  // -1: to the end
  Rect box;
  CGrafPtr port;              // SetMovieGWorld
  GDHandle device;
  int16_t volume;
  int32_t timeBaseFlags;
  int32_t playHints;
  int32_t doneOverride;       // -1: the default rule
  TimeValue taskStep;         // time added per MoviesTask while the rate is non-zero
  uint32_t tasks;             // MoviesTask calls
  uint32_t updates;           // UpdateMovie calls
} TEMovieState;

// A component request as decoded from its parameter block.
typedef struct TERequest {
  ComponentInstance instance;
  uint8_t bytes[8];  // the block exactly as it was in memory
  ComponentResult result;
} TERequest;

typedef struct TEControl {
  uint32_t version;
  void (*Reset)(void);

  uint32_t (*LogSize)(void);
  int (*LogEntry)(uint32_t index, TECall* out);
  void (*ClearLog)(void);

  int (*DefineMovie)(const char* path, const TEMovieSpec* spec);
  uint32_t (*MovieCount)(void);  // live movies, oldest first
  Movie (*MovieAt)(uint32_t index);
  int (*MovieState)(Movie movie, TEMovieState* out);  // 0: not the engine's movie
  int (*SetMovieTime)(Movie movie, TimeValue time);
  int (*SetDone)(Movie movie, int32_t done);  // 1, 0, or -1 for the default rule
  int (*SetTaskStep)(Movie movie, TimeValue step);

  uint32_t (*OpenFileCount)(void);
  uint32_t (*PortCount)(void);
  void* (*PortWindow)(CGrafPtr port);  // window a live port was made for
  void (*CurrentGWorld)(CGrafPtr* port, GDHandle* device);
  CGrafPtr (*ScreenPort)(void);        // current before anything is set
  GDHandle (*MainDevice)(void);
  int (*LastDisplayRect)(Rect* out);   // 0: none given yet

  void (*SetPictureBytes)(const uint8_t* bytes, uint32_t size);
  void (*SetPictureSize)(int16_t width, int16_t height);
  uint32_t (*OutstandingPictures)(void);
  uint32_t (*OpenComponentCount)(void);
  uint32_t (*RequestCount)(void);
  int (*RequestAt)(uint32_t index, TERequest* out);

  void (*FailAt)(uint32_t selector, uint32_t nth, uint32_t value);
  void (*FailAlways)(uint32_t selector, uint32_t value);
  void (*ClearFailures)(void);

  uint32_t (*MisuseCount)(void);  // calls with unknown or released objects
  const char* (*MisuseAt)(uint32_t index);
  uint32_t (*PathCount)(void);    // paths given to NativePathNameToFSSpec
  const char* (*PathAt)(uint32_t index);
} TEControl;

// The one control export besides the engine's own entry points.
typedef const TEControl* (*TestEngineControlProc)(void);
#define kTestEngineControlExport "TestEngineControl"

#ifdef __cplusplus
}
#endif
