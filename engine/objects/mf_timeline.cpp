#include "engine/objects/mf_timeline.h"

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cmath>
#include <memory>

#include "engine/container/hundredth_steps.h"
#include "engine/platform/media_foundation.h"

namespace vmedia {
namespace {

constexpr DWORD kProbeTimeoutMs = 8000;
constexpr int32_t kTimeScale = 600;

struct ProbeResult {
  bool ok = false;
  Timeline timeline;
};

void Probe(const std::wstring& path, ProbeResult* out) {
  IMFSourceReader* reader = nullptr;
  if (FAILED(OpenSourceReader(path, false, &reader))) return;
  Timeline& tl = out->timeline;
  tl.timeScale = kTimeScale;
  PROPVARIANT var;
  PropVariantInit(&var);
  uint64_t duration100ns = 0;
  if (SUCCEEDED(reader->GetPresentationAttribute(MF_SOURCE_READER_MEDIASOURCE, MF_PD_DURATION, &var))) {
    if (var.vt == VT_UI8) duration100ns = var.uhVal.QuadPart;
    PropVariantClear(&var);
  }
  double fps = 0;
  for (DWORD i = 0; i < 64; ++i) {
    IMFMediaType* type = nullptr;
    if (FAILED(reader->GetNativeMediaType(i, 0, &type))) break;
    GUID major = GUID_NULL;
    type->GetGUID(MF_MT_MAJOR_TYPE, &major);
    if (major == MFMediaType_Video && !tl.hasVideo) {
      UINT32 w = 0, h = 0, num = 0, den = 0;
      MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &w, &h);
      if (w > 0 && h > 0 && w <= kMaxPictureSide && h <= kMaxPictureSide) {
        tl.hasVideo = true;
        tl.width = static_cast<int32_t>(w);
        tl.height = static_cast<int32_t>(h);
        if (SUCCEEDED(MFGetAttributeRatio(type, MF_MT_FRAME_RATE, &num, &den)) && num && den)
          fps = static_cast<double>(num) / den;
      }
    } else if (major == MFMediaType_Audio) {
      tl.hasSound = true;
    }
    type->Release();
  }
  reader->Release();
  if (!tl.hasVideo && !tl.hasSound) return;
  double d = std::round(duration100ns * static_cast<double>(kTimeScale) / 1e7);
  if (d > INT32_MAX) d = INT32_MAX;
  tl.duration = static_cast<int32_t>(d);
  if (tl.hasVideo) {
    tl.videoTimes = UniformTimes(tl.duration, kTimeScale, fps > 0 ? fps : 25.0);
    if (tl.videoTimes.empty()) tl.videoTimes.push_back(0);
    tl.stepTimes = tl.videoTimes;
  } else {
    tl.stepTimes = HundredthSteps(tl.duration, kTimeScale);
  }
  out->ok = true;
}

}  // namespace

bool ProbeWithMediaFoundation(const std::wstring& path, Timeline* timeline) {
  auto result = std::make_shared<ProbeResult>();
  if (!RunOnMediaThread([result, path] { Probe(path, result.get()); }, kProbeTimeoutMs)) return false;
  if (!result->ok) return false;
  *timeline = std::move(result->timeline);
  return true;
}

}  // namespace vmedia
