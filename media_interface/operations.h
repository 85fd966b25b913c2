// The media operations as a caller sees them: QuickTime's types and
// constants, a selector for each operation, and the operations declared as
// the gate's entries (quicktime/gate_entries.S), which callers call like
// QuickTime's own functions. The operations themselves are listed once, in
// operation_list.h.
#pragma once

#include <stdint.h>

#include "media_interface/operation_list.h"

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

// Selectors, kSel_ and the operation's name.
enum QTSelector {
#define MEDIA_SELECTOR(name, selector, result, parameters) kSel_##name = selector,
  MEDIA_OPERATIONS(MEDIA_SELECTOR)
#undef MEDIA_SELECTOR
};

// Declares an operation as the list gives it; engines use it to declare
// their implementations in a namespace of their own.
#define MEDIA_DECLARE_OPERATION(name, selector, result, parameters) result name parameters;

MEDIA_OPERATIONS(MEDIA_DECLARE_OPERATION)

#ifdef __cplusplus
}
#endif
