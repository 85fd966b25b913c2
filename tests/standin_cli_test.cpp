#include <windows.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "test_paths.h"

namespace {

std::string Slurp(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct HostRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string out, err;
};

HANDLE Inheritable(const std::string& name, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  return CreateFileA(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Runs vantoro-host.exe with these arguments and this script text.
HostRun Host(const std::string& args, const std::string& script) {
  // Under Wine the first window of a session starts the desktop process,
  // which keeps the starter's standard handles: let it be this process.
  GetDesktopWindow();
  const std::string dir = Folder();
  const std::string scriptFile = dir + "standin_cli_script.txt";
  std::ofstream(scriptFile, std::ios::binary) << script;
  std::string command = "\"" + dir + "vantoro-host.exe\" " + args;
  size_t at = command.find("SCRIPT");
  if (at != std::string::npos) command.replace(at, 6, "\"" + scriptFile + "\"");

  HANDLE in = Inheritable(scriptFile, GENERIC_READ, OPEN_EXISTING);
  HANDLE out = Inheritable(dir + "standin_cli_out.txt", GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = Inheritable(dir + "standin_cli_err.txt", GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi = {};
  HostRun run;
  std::string line = command;
  if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &si, &pi)) {
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  run.out = Slurp(dir + "standin_cli_out.txt");
  run.err = Slurp(dir + "standin_cli_err.txt");
  for (const char* name : {"standin_cli_script.txt", "standin_cli_out.txt", "standin_cli_err.txt"})
    DeleteFileA((dir + name).c_str());
  return run;
}

const char kPlugin[] = "--plugin standin_fake_plugin.fmx ";

TEST(HostProgram, RunsAScriptAndPrintsTheTranscript) {
  HostRun r = Host(std::string(kPlugin) + "--host-version 60 SCRIPT",
               "# test\nFake-Echo hello|world\nwait 20\nFake-MessageBox\nFake-State\n");
  EXPECT_EQ(r.exitCode, 0u) << r.err;
  EXPECT_EQ(r.out,
            "initialise (host version 60) -> 4\n"
            "Fake-Echo hello|world -> \"hello|world\"\n"
            "(wait 20 ms)\n"
            "Fake-MessageBox -> \"1\"\n"
            "  ! message box \"Unable to find main window!!!\" (caption \"\")\n"
            "Fake-State -> \"version=60 module=own idle=0 shutdown=0 other=0\"\n"
            "shutdown\n");
}

TEST(HostProgram, QuietReadsStandardInput) {
  HostRun r = Host(std::string(kPlugin) + "--quiet -", "Fake-Echo one\r\nFake-Nothing\r\nFake-Echo two\r\n");
  EXPECT_EQ(r.exitCode, 0u) << r.err;
  EXPECT_EQ(r.out, "one\n\ntwo\n");
}

TEST(HostProgram, FailuresGiveNonZeroExitCodes) {
  HostRun leak = Host(std::string(kPlugin) + "SCRIPT", "Fake-Leak\n");
  EXPECT_EQ(leak.exitCode, 1u);
  EXPECT_NE(leak.err.find("1 blocks never disposed"), std::string::npos) << leak.err;

  EXPECT_EQ(Host(std::string(kPlugin) + "SCRIPT", "Fake-Nope\n").exitCode, 1u);
  HostRun bad = Host(std::string(kPlugin) + "SCRIPT", "jump\n");
  EXPECT_EQ(bad.exitCode, 1u);
  EXPECT_NE(bad.err.find("line 1: unknown command"), std::string::npos);
  EXPECT_EQ(Host("--plugin no_such.fmx SCRIPT", "").exitCode, 3u);
  EXPECT_EQ(Host(std::string(kPlugin) + "no_such_script.txt", "").exitCode, 4u);
  EXPECT_EQ(Host("", "").exitCode, 2u);
  EXPECT_EQ(Host("--frobnicate SCRIPT", "").exitCode, 2u);
}

}  // namespace
