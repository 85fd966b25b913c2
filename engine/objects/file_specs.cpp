#include "engine/objects/file_specs.h"

#include <windows.h>
#include <string.h>

#include <map>

#include "engine/objects/status.h"

namespace vmedia {
namespace {

constexpr int16_t kSpecVolume = 0x5674;  // marks FSSpecs made here
constexpr size_t kMaxPaths = 1024;

std::map<int32_t, std::wstring> paths;  // token -> path; oldest token first
int32_t nextToken = 1;

bool HasPrefix(const std::wstring& s, const wchar_t* prefix) {
  return s.compare(0, wcslen(prefix), prefix) == 0;
}

}  // namespace

std::wstring FullWidePath(const std::wstring& path) {
  if (HasPrefix(path, L"\\\\?\\")) return path;
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  std::wstring full;
  if (n > 0) {
    full.resize(n);
    DWORD got = GetFullPathNameW(path.c_str(), n, &full[0], nullptr);
    full.resize(got < n ? got : 0);
  }
  if (full.empty()) full = path;
  if (full.size() >= MAX_PATH - 12) {
    if (HasPrefix(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
  }
  return full;
}

OSErr PathToSpec(const char* path, FSSpec* spec) {
  if (!path || !spec) return paramErr;
  if (!*path) return fnfErr;
  int n = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  if (n <= 1 || n > 32768) return bdNamErr;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  if (!MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], n)) return bdNamErr;
  wide.resize(static_cast<size_t>(n - 1));
  std::wstring full = FullWidePath(wide);
  DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return fnfErr;

  if (paths.size() >= kMaxPaths) paths.erase(paths.begin());
  int32_t token = nextToken;
  nextToken = nextToken == INT32_MAX ? 1 : nextToken + 1;
  paths[token] = full;

  memset(spec, 0, sizeof(*spec));
  spec->vRefNum = kSpecVolume;
  spec->parID = token;
  // The name field holds the file's name for whoever looks; the engine
  // reads only the token.
  size_t slash = full.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? full : full.substr(slash + 1);
  size_t len = name.size() < 63 ? name.size() : 63;
  spec->name[0] = static_cast<uint8_t>(len);
  for (size_t i = 0; i < len; ++i) spec->name[1 + i] = name[i] < 0x80 ? static_cast<uint8_t>(name[i]) : '?';
  return noErr;
}

bool SpecPath(const FSSpec* spec, std::wstring* path) {
  if (!spec || spec->vRefNum != kSpecVolume) return false;
  auto it = paths.find(spec->parID);
  if (it == paths.end()) return false;
  *path = it->second;
  return true;
}

}  // namespace vmedia
