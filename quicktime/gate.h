// The call gate: the state shared by the entries of gate_entries.S, and the
// loader that binds a media engine at the first operation.
#pragma once
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*GateHook)(void);
typedef void (*GateCode)(void);

// Non-null while no engine is bound; every entry calls it first.
extern GateHook loadHook;
// Where every entry goes; QuickTimeUnavailable until bound.
extern GateCode dispatchEntry;
// Resolved and required at binding, never called.
extern GateCode callComponentEntry;
extern GateCode callComponentWithStorageEntry;
// The module the gate holds, or null.
extern HMODULE libraryHandle;

// Answers -2095 in EAX at once; written in assembler.
void QuickTimeUnavailable(void);

// Finds and binds an engine: QuickTime for Windows where it is installed
// and complete, otherwise our own engine beside the plug-in. Leaves the gate
// unbound if none binds.
void LoadMediaEngine(void);

// Loads the first library called `name` found in the usual places: already
// loaded, the host program's folder, the folders named in the registry, the
// system folder. The result carries one reference for the caller.
HMODULE LocateQuickTimeLibrary(const char* name);

#ifdef __cplusplus
}
#endif

// File names the loader looks for.
#define kQuickTimeLibraryName "QuickTime.qts"
#define kOwnEngineLibraryName "VantoroMedia.dll"
