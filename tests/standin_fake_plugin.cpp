// A small plug-in for testing the stand-in host: it uses the host routines
// the way a real plug-in does and answers what it saw.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "host/call_record.h"

namespace {

HostCallRecord* record;
int16_t initVersion = -1;
void* initModule;
int idleCalls, shutdownCalls, otherCalls;

std::string Argument(HostHandle h) {
  if (!h) return "(null)";
  record->hostLockHandle(h);
  int32_t size = record->hostGetHandleSize(h);
  std::string text(*h, static_cast<size_t>(size));
  record->hostUnlockHandle(h);
  return text;
}

void Answer(HostHandle result, const std::string& text) {
  record->hostSetHandleSize(result, static_cast<int32_t>(text.size()));
  if (record->hostMemoryError() != 0) return;
  record->hostLockHandle(result);
  memcpy(*result, text.data(), text.size());
  record->hostUnlockHandle(result);
}

void External(int32_t number, HostHandle parameter, HostHandle result) {
  switch (number) {
    case 0:  // Fake-Echo
      Answer(result, Argument(parameter));
      break;
    case 1:  // Fake-Nothing
      break;
    case 2:  // Fake-Empty
      Answer(result, "");
      break;
    case 3: {  // Fake-Copy: through a block of the host's
      std::string text = Argument(parameter);
      char* copy = static_cast<char*>(record->hostNewBlock(static_cast<int32_t>(text.size()) + 1));
      if (!copy) {
        Answer(result, "no block");
        break;
      }
      memcpy(copy, text.c_str(), text.size() + 1);
      Answer(result, copy);
      record->hostDisposeBlock(copy);
      break;
    }
    case 4:  // Fake-Leak
      record->hostNewBlock(8);
      Answer(result, "leaked");
      break;
    case 5: {  // Fake-State
      char text[160];
      snprintf(text, sizeof text, "version=%d module=%s idle=%d shutdown=%d other=%d",
               initVersion, initModule == GetModuleHandleA("standin_fake_plugin.fmx") ? "own" : "other",
               idleCalls, shutdownCalls, otherCalls);
      Answer(result, text);
      break;
    }
    case 6: {  // Fake-MessageBox
      int answer = MessageBoxA(nullptr, "Unable to find main window!!!", "",
                               MB_OK | MB_ICONEXCLAMATION);
      Answer(result, std::to_string(answer));
      break;
    }
    case 8:  // Fake-LeaveLocked
      record->hostLockHandle(result);
      break;
    case 9:  // Fake-Scribble: writes into bytes of the record it must not touch
      record->reserved1C[0] ^= 0xFF;
      break;
    case 10:  // Fake-Overrun: writes one byte past the end of its answer
      Answer(result, "ab");
      record->hostLockHandle(result);
      (*result)[2] = 'c';
      record->hostUnlockHandle(result);
      break;
    default:
      break;
  }
}

}  // namespace

extern "C" void FMExternCallProc(HostCallRecord* r) {
  record = r;
  switch (r->callCode) {
    case kCallInitialise:
      initVersion = r->hostVersion;
      initModule = r->moduleInstance;
      r->result.initResult = (r->hostVersion >= 4 && r->hostVersion <= 255) ? 4 : -1;
      break;
    case kCallIdle:
      ++idleCalls;
      break;
    case kCallExternal:
      External(r->functionNumber, r->parameterHandle, r->result.resultHandle);
      break;
    case kCallShutdown:
      ++shutdownCalls;
      break;
    default:
      ++otherCalls;
      break;
  }
}
