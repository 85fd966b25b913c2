#include "standin/plugin.h"

#include <string.h>

#include "standin/handles.h"

namespace standin {

const char kResultSentinel[] = "\xA5<result untouched>\xA5";

namespace {

// Record bytes the plug-in may write during a call of this code.
bool OnlyResultChanged(const HostCallRecord& before, const HostCallRecord& after,
                       uint8_t callCode) {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(&before);
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&after);
  const size_t resultAt = offsetof(HostCallRecord, result);
  for (size_t i = 0; i < sizeof(HostCallRecord); ++i) {
    bool writable = callCode == kCallInitialise && i >= resultAt && i < resultAt + 4;
    if (!writable && a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

Plugin::~Plugin() { Unload(); }

bool Plugin::Load(const std::string& path) {
  Unload();
  loadError_.clear();
  module_ = LoadLibraryA(path.c_str());
  if (!module_) {
    loadError_ = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  entry_ = reinterpret_cast<FMExternCallProcPtr>(
      reinterpret_cast<void*>(GetProcAddress(module_, "FMExternCallProc")));
  if (!entry_) {
    loadError_ = path + " has no export FMExternCallProc";
    FreeLibrary(module_);
    module_ = nullptr;
    return false;
  }
  return true;
}

void Plugin::Unload() {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
  entry_ = nullptr;
}

HostCallRecord Plugin::MakeRecord(uint8_t callCode) const {
  HostCallRecord record;
  memset(&record, reservedFill_, sizeof record);
  record.hostVersion = hostVersion_;
  record.callCode = callCode;
  record.functionNumber = 0;
  record.parameterHandle = nullptr;
  record.moduleInstance = module_;
  record.result.initResult = 0;
  FillRecordRoutines(record);
  return record;
}

void Plugin::Invoke(HostCallRecord& record) {
  if (!entry_) return;
  HostCallRecord before = record;
  entry_(&record);
  last_.recordChanged = !OnlyResultChanged(before, record, record.callCode);
}

int32_t Plugin::Initialise(int16_t hostVersion) {
  hostVersion_ = hostVersion;
  HostCallRecord record = MakeRecord(kCallInitialise);
  record.result.initResult = kNotWritten;
  Invoke(record);
  return record.result.initResult;
}

void Plugin::Idle() { RawCall(kCallIdle); }
void Plugin::Shutdown() { RawCall(kCallShutdown); }

void Plugin::RawCall(uint8_t callCode) {
  HostCallRecord record = MakeRecord(callCode);
  Invoke(record);
}

std::string Plugin::Call(int32_t number, const std::string& args, bool* resultTouched) {
  HostHandle parameter = NewHandle(args);
  std::string answer = Call(number, parameter, resultTouched);
  last_.parameterChanged = HandleBytes(parameter) != args;
  DisposeHandle(parameter);
  return answer;
}

std::string Plugin::Call(int32_t number, HostHandle parameter, bool* resultTouched) {
  const std::string sentinel(kResultSentinel);
  HostHandle result = NewHandle(sentinel);
  HostCallRecord record = MakeRecord(kCallExternal);
  record.functionNumber = number;
  record.parameterHandle = parameter;
  record.result.resultHandle = result;
  Invoke(record);

  std::string bytes = HandleBytes(result);
  last_.resultResizes = ResizeCount(result);
  last_.resultTouched = last_.resultResizes > 0 || bytes != sentinel;
  last_.resultLocks = LockCount(result);
  last_.parameterLocks = IsLiveHandle(parameter) ? LockCount(parameter) : 0;
  last_.parameterChanged = false;
  DisposeHandle(result);
  if (resultTouched) *resultTouched = last_.resultTouched;
  return last_.resultTouched ? bytes : std::string();
}

std::string Plugin::CallByName(const std::string& name, const std::string& args,
                               bool* resultTouched) {
  int number = NumberOf(name);
  if (number < 0) {
    if (resultTouched) *resultTouched = false;
    return std::string();
  }
  return Call(number, args, resultTouched);
}

int Plugin::NumberOf(const std::string& functionName) const {
  if (functionName.empty()) return -1;
  for (int n = 0; n <= 12; ++n)
    if (StringResource(144 + n) == functionName) return n;
  return -1;
}

std::string Plugin::StringResource(int id) const {
  if (!module_) return std::string();
  char buffer[4096];
  int length = LoadStringA(module_, static_cast<UINT>(id), buffer, sizeof buffer);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

}  // namespace standin
