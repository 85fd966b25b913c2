// A loaded plug-in library, driven the way the host drives it: every call
// gets a fresh call record with the seven memory routines of handles.h.
//
//   Load(path) / Unload() / Module() / Loaded()
//   Initialise(hostVersion = 50) -> the result the plug-in wrote (code 0);
//     kNotWritten if it wrote none
//   Idle() (code 1), Shutdown() (code 4), RawCall(code)
//   Call(number, args, &resultTouched) (code 3): the argument text goes in a
//     new parameter handle, the result handle starts out holding
//     kResultSentinel; answers the result bytes, or "" when the plug-in left
//     the result handle alone. Call(number, HostHandle param, ...) passes a
//     handle of the caller's (null allowed), which is not disposed.
//   NumberOf("Vantoro-Play") -> 6 from string resources 144..156, -1 if none
//   CallByName(name, args), StringResource(id)
//   MakeRecord(code) and Invoke(record) for calls built by hand.
//   SetReservedFill(byte): what the bytes the plug-in must not use hold.
//   LastCall(): what the last Call saw (locks left, record changes, ...).
#pragma once
#include <windows.h>

#include <stdint.h>

#include <string>

#include "host/call_record.h"

namespace standin {

// What the host leaves at offset 0x18 before an initialise call.
constexpr int32_t kNotWritten = 0x7FFFFFFF;
// What the result handle holds until the plug-in writes it.
extern const char kResultSentinel[];

struct CallReport {
  bool resultTouched = false;
  int resultResizes = 0;
  // Locks still held on the two handles when the plug-in returned.
  int parameterLocks = 0;
  int resultLocks = 0;
  // The parameter handle no longer holds what it was given.
  bool parameterChanged = false;
  // Bytes of the record other than the result changed during the call.
  bool recordChanged = false;
};

class Plugin {
 public:
  Plugin() = default;
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  bool Load(const std::string& path);
  void Unload();
  HMODULE Module() const { return module_; }
  bool Loaded() const { return entry_ != nullptr; }
  // Why the last Load failed.
  const std::string& LoadError() const { return loadError_; }

  int32_t Initialise(int16_t hostVersion = 50);
  void Idle();
  void Shutdown();
  void RawCall(uint8_t callCode);

  std::string Call(int32_t number, const std::string& args, bool* resultTouched = nullptr);
  std::string Call(int32_t number, HostHandle parameter, bool* resultTouched = nullptr);
  std::string CallByName(const std::string& name, const std::string& args,
                         bool* resultTouched = nullptr);

  int NumberOf(const std::string& functionName) const;
  std::string StringResource(int id) const;

  HostCallRecord MakeRecord(uint8_t callCode) const;
  void Invoke(HostCallRecord& record);

  void SetReservedFill(uint8_t fill) { reservedFill_ = fill; }
  int16_t HostVersion() const { return hostVersion_; }
  const CallReport& LastCall() const { return last_; }

 private:
  HMODULE module_ = nullptr;
  FMExternCallProcPtr entry_ = nullptr;
  std::string loadError_;
  int16_t hostVersion_ = 50;
  uint8_t reservedFill_ = 0;
  CallReport last_;
};

}  // namespace standin
