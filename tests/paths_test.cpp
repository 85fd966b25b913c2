// Awkward paths through the plug-in and the media engine: files that vanish,
// very long paths, characters beyond ASCII, folders, empty files. Each case
// must answer a value or a clean code; the answers are printed as a table.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "test_paths.h"
#include "host_rig_fixture.h"

#ifndef VANTORO_MEDIA_DIR
#error VANTORO_MEDIA_DIR names the folder of the test media
#endif

namespace {

// Paths in the ANSI code page, as the host passes them, made wide and
// long-path safe for the test's own file work.
std::wstring Wide(const std::string& ansi) {
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], n);
  wide.resize(wide.size() - 1);
  return L"\\\\?\\" + wide;
}

bool CopyTo(const std::string& from, const std::string& to) {
  return CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE) != 0;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = bytes.empty() || ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

// Removes a folder and all in it; false if anything stays (a file still
// open without delete sharing, for one).
bool RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  bool ok = true;
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        ok = RemoveTree(path) && ok;
      } else {
        ok = DeleteFileW(path.c_str()) && ok;
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  return (RemoveDirectoryW(folder.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) && ok;
}

class Paths : public rig::HostRigTest {
 protected:
  static void SetUpTestSuite() {
    printf("\nPaths with the media engine\n\n| Case | Length | GetDuration | GetVideoSize | Play |\n|---|---|---|---|---|\n");
  }
  static void TearDownTestSuite() { fflush(stdout); }

  void SetUp() override {
    source = MediaPath("h264_aac.mp4");
    if (GetFileAttributesA(source.c_str()) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "no test media (ffmpeg missing?)";
    }
    work = Folder() + "work";
    RemoveTree(Wide(work));
    ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
    HostRigTest::SetUp();
    duration = Call("Vantoro-GetDuration", source);
    ASSERT_EQ(duration.size(), 11u) << duration;
  }

  void TearDown() override {
    bool opened = plugin.Loaded();
    HostRigTest::TearDown();
    if (opened) EXPECT_TRUE(RemoveTree(Wide(work))) << "a file of the work folder is still open";
  }

  struct Answers {
    std::string duration, size, play;
  };

  // The three path calls; a Play that works is stopped again. Every answer
  // is a value or one of the path codes, and nothing of a failed Play stays.
  Answers Try(const std::string& path) {
    Answers a;
    a.duration = Call("Vantoro-GetDuration", path);
    a.size = Call("Vantoro-GetVideoSize", path);
    a.play = Call("Vantoro-Play", path);
    if (a.play.empty()) {
      EXPECT_TRUE(Subclassed());
      EXPECT_EQ(Call("Vantoro-Stop"), "");
    }
    EXPECT_FALSE(Subclassed());
    EXPECT_EQ(Call("Vantoro-GetTime"), "74005");
    for (const std::string* answer : {&a.duration, &a.size, &a.play}) {
      bool code = *answer == "72008" || *answer == "74001" || *answer == "74002";
      bool value = answer == &a.play ? answer->empty() : answer->size() >= 3 && answer->size() != 5;
      EXPECT_TRUE(code || value) << path.substr(0, 200) << " answered " << *answer;
    }
    return a;
  }

  // Works like the original file: same duration and size, and it plays.
  void ExpectWorks(const Answers& a, const std::string& what) {
    EXPECT_EQ(a.duration, duration) << what;
    EXPECT_EQ(a.size, "320,240") << what;
    EXPECT_EQ(a.play, "") << what;
  }

  static void Row(const std::string& what, size_t length, const Answers& a) {
    auto shown = [](const std::string& s) { return s.empty() ? std::string("(nothing)") : s; };
    printf("| %s | %u | %s | %s | %s |\n", what.c_str(), static_cast<unsigned>(length), shown(a.duration).c_str(),
           shown(a.size).c_str(), shown(a.play).c_str());
  }

  // A copy of the movie whose full path is exactly `length` characters,
  // in folders of at most 100 characters a name.
  std::string CopyWithLength(size_t length) {
    std::string path = work;
    size_t left = length - path.size();
    char letter = 'a';
    while (left > 120) {
      path += "\\" + std::string(100, letter++);
      left -= 101;
      EXPECT_TRUE(CreateDirectoryW(Wide(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    }
    path += "\\" + std::string(left - 5, 'm') + ".mp4";
    EXPECT_EQ(path.size(), length);
    EXPECT_TRUE(CopyTo(source, path)) << GetLastError();
    return path;
  }

  std::string source, work, duration;
};

TEST_F(Paths, TheOriginal) {
  Answers a = Try(source);
  ExpectWorks(a, "original");
  Row("the test movie as made", source.size(), a);
}

TEST_F(Paths, FileThatVanishesBetweenDurationAndPlay) {
  std::string path = work + "\\vanishing.mp4";
  ASSERT_TRUE(CopyTo(source, path));
  Answers a;
  a.duration = Call("Vantoro-GetDuration", path);
  a.size = Call("Vantoro-GetVideoSize", path);
  EXPECT_EQ(a.duration, duration);
  ASSERT_TRUE(DeleteFileA(path.c_str())) << "the queries left the file open";
  a.play = Call("Vantoro-Play", path);
  EXPECT_EQ(a.play, "72008");
  EXPECT_FALSE(Subclassed());
  EXPECT_EQ(Call("Vantoro-GetDuration", path), "72008");
  Row("deleted after GetDuration, before Play", path.size(), a);
}

TEST_F(Paths, FileDeletedWhilePlaying) {
  std::string path = work + "\\deleted-while-playing.mp4";
  ASSERT_TRUE(CopyTo(source, path));
  ASSERT_EQ(Call("Vantoro-Play", path), "");
  BOOL deleted = DeleteFileA(path.c_str());
  windows.Pump(300);
  std::string time = Call("Vantoro-GetTime");
  std::string frame = Call("Vantoro-GetVideoFrame");
  EXPECT_TRUE(time.size() == 11 || time == "74005") << time;
  EXPECT_TRUE(frame.empty() || frame.size() == 5) << frame;
  EXPECT_EQ(Call("Vantoro-Stop"), "");
  EXPECT_FALSE(Subclassed());
  printf("| deleted while playing (%s), then GetTime / GetVideoFrame | %u | %s | %s | (played) |\n",
         deleted ? "delete allowed" : "delete refused while open", static_cast<unsigned>(path.size()),
         time.c_str(), frame.empty() ? "(nothing)" : frame.c_str());
}

TEST_F(Paths, LongPaths) {
  for (size_t length : {259u, 260u, 1000u}) {
    std::string path = CopyWithLength(length);
    Answers a = Try(path);
    // The engine reads long paths in full: nothing is cut short.
    ExpectWorks(a, std::to_string(length) + " characters");
    Row("full path of " + std::to_string(length) + " characters", path.size(), a);
  }
  // Longer than any Windows path, and no such file.
  std::string endless = work + "\\" + std::string(40000, 'z') + ".mp4";
  Answers a = Try(endless);
  EXPECT_EQ(a.duration, "72008");
  EXPECT_EQ(a.play, "72008");
  Row("40,000 characters, no such file", endless.size(), a);
}

TEST_F(Paths, CharactersBeyondAscii) {
  // The host passes text in the ANSI code page; é and ü in code page 1252.
  if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page is " << GetACP();
  std::string folder = work + "\\d\xe9j\xe0 vu";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  std::string path = folder + "\\caf\xe9 \xfc" "ber \xa7\xbd.mp4";
  ASSERT_TRUE(CopyTo(source, path));
  Answers a = Try(path);
  ExpectWorks(a, "code page 1252");
  Row("folder and file names with \xc3\xa9 \xc3\xa0 \xc3\xbc \xc2\xa7 \xc2\xbd (code page 1252 bytes)", path.size(), a);
  // Bytes that code page 1252 leaves unassigned name no file here.
  Answers b = Try(work + "\\\x81\x8d\x8f.mp4");
  EXPECT_EQ(b.play, "72008");
  Row("unassigned code page bytes 0x81 0x8D 0x8F, no such file", work.size() + 9, b);
}

TEST_F(Paths, FoldersAndOddFiles) {
  struct Case {
    std::string what, path;
  };
  std::string copy = work + "\\clip.mp4";
  ASSERT_TRUE(CopyTo(source, copy));
  ASSERT_TRUE(WriteFile(work + "\\empty.mp4", ""));
  ASSERT_TRUE(WriteFile(work + "\\text.mp4", "This is no movie, only some text.\r\n"));
  SetCurrentDirectoryA(Folder().c_str());
  std::string slashes = copy;
  for (char& c : slashes) {
    if (c == '\\') c = '/';
  }
  const Case cases[] = {
      {"a folder", work},
      {"a folder with a trailing backslash", work + "\\"},
      {"the drive's root", work.substr(0, 3)},
      {"an empty file", work + "\\empty.mp4"},
      {"a text file named .mp4", work + "\\text.mp4"},
      {"trailing spaces after the name", copy + "   "},
      {"leading spaces before the path", "  " + copy},
      {"relative to the current folder", "work\\clip.mp4"},
      {"forward slashes", slashes},
      {"long-path prefix \\\\?\\", "\\\\?\\" + copy},
      {"wildcard", work + "\\*.mp4"},
      {"device name", "CON"},
  };
  for (const Case& c : cases) {
    Answers a = Try(c.path);
    Row(c.what, c.path.size(), a);
  }
}

}  // namespace
