#include "engine/objects/open_files.h"

#include <map>

#include "engine/objects/file_specs.h"
#include "engine/objects/status.h"
#include "engine/platform/media_file.h"

namespace vmedia {
namespace {

constexpr size_t kMaxOpenFiles = 256;

struct OpenFile {
  HANDLE file;
  std::wstring path;
};
std::map<int16_t, OpenFile> openFiles;
int16_t nextRef = 1;

}  // namespace

OSErr OpenFileForSpec(const FSSpec* spec, int8_t permission, int16_t* refNum) {
  if (!spec || !refNum) return paramErr;
  if (permission != 0 && permission != fsRdPerm) return permErr;  // the engine never writes
  std::wstring path;
  if (!SpecPath(spec, &path)) return fnfErr;
  if (openFiles.size() >= kMaxOpenFiles) return tmfoErr;
  HANDLE file = OpenMediaFile(path);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND ? fnfErr : ioErr;
  int16_t ref = nextRef;
  while (openFiles.count(ref)) ref = ref == INT16_MAX ? 1 : ref + 1;
  nextRef = ref == INT16_MAX ? 1 : ref + 1;
  openFiles[ref] = OpenFile{file, path};
  *refNum = ref;
  return noErr;
}

bool RefFile(int16_t refNum, HANDLE* file, std::wstring* path) {
  auto it = openFiles.find(refNum);
  if (it == openFiles.end()) return false;
  if (file) *file = it->second.file;
  if (path) *path = it->second.path;
  return true;
}

OSErr CloseFileRef(int16_t refNum) {
  auto it = openFiles.find(refNum);
  if (it == openFiles.end()) return rfNumErr;
  CloseHandle(it->second.file);
  openFiles.erase(it);
  return noErr;
}

}  // namespace vmedia
