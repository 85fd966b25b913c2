#include "quicktime/library_path.h"

#include <string.h>

bool AppendText(char* buffer, size_t capacity, const char* text) {
  size_t used = strnlen(buffer, capacity);
  size_t length = strlen(text);
  if (used >= capacity || length >= capacity - used) return false;
  memcpy(buffer + used, text, length + 1);
  return true;
}

static char* AfterLastSeparator(char* path) {
  char* cut = nullptr;
  for (char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/') cut = p + 1;
  }
  return cut;
}

bool ReplaceFileName(char* path, size_t capacity, const char* name) {
  char* cut = AfterLastSeparator(path);
  if (cut == nullptr) return false;
  size_t folder = static_cast<size_t>(cut - path);
  size_t length = strlen(name);
  if (length >= capacity - folder) return false;
  memcpy(cut, name, length + 1);
  return true;
}

bool EndsWithSeparator(const char* text) {
  size_t length = strlen(text);
  return length > 0 && (text[length - 1] == '\\' || text[length - 1] == '/');
}

bool TerminateValueText(char* buffer, size_t capacity, uint32_t size) {
  if (size > capacity) return false;
  if (size > 0 && buffer[size - 1] == '\0') return true;
  if (size == capacity) return false;
  buffer[size] = '\0';
  return true;
}
