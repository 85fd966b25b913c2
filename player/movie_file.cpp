#include "player/movie_file.h"

#include "host/is_error.h"

FSSpec PathToFSSpec(const char* path) {
  FSSpec spec = {};
  if (NativePathNameToFSSpec(path, &spec, 0) != 0) RaiseError(kErrBadPath);
  return spec;
}

int16_t OpenMovieFileForReading(const FSSpec& spec) {
  int16_t fileRef = 0;
  if (OpenMovieFile(&spec, &fileRef, fsRdPerm) != 0) RaiseError(kErrOpenFile);
  return fileRef;
}

Movie MovieFromOpenFile(int16_t fileRef) {
  Movie movie = nullptr;
  int16_t resourceId = 0;
  Boolean dataRefChanged = 0;
  if (NewMovieFromFile(&movie, fileRef, &resourceId, nullptr, 0, &dataRefChanged) != 0) return nullptr;
  return movie;
}
