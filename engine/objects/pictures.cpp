#include "engine/objects/pictures.h"

#include <new>
#include <unordered_set>

#include "engine/objects/handles.h"
#include "engine/picture/pict_writer.h"
#include "engine/playback/playback.h"
#include "engine/objects/status.h"

struct ComponentInstanceRecord {
  PicHandle input;
};

namespace vmedia {
namespace {

std::unordered_set<ComponentInstance> exporters;

// The picture frame of a PICT: bytes 2-9, big-endian top, left, bottom, right.
bool PictureFrame(PicHandle picture, Rect* frame) {
  Handle h = reinterpret_cast<Handle>(picture);
  if (!IsHandle(h) || HandleSize(h) < 10) return false;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(*h);
  auto be16 = [&](int at) { return static_cast<int16_t>((p[at] << 8) | p[at + 1]); };
  *frame = Rect{be16(2), be16(4), be16(6), be16(8)};
  return true;
}

}  // namespace

PicHandle MoviePicture(MovieRecord* m, TimeValue time) {
  Frame frame;
  if (!FrameAtTime(m, time, &frame) || !frame.pixels) return nullptr;
  std::vector<uint8_t> pict = WritePict(frame.pixels->data(), frame.width, frame.height, frame.width * 4);
  if (pict.empty()) return nullptr;
  return reinterpret_cast<PicHandle>(NewHandleWithBytes(pict.data(), pict.size()));
}

void KillPictureHandle(PicHandle picture) {
  Handle h = reinterpret_cast<Handle>(picture);
  for (ComponentInstance ci : exporters)
    if (ci->input == picture) ci->input = nullptr;
  DisposeHandle(h);
}

OSErr OpenExporter(OSType type, OSType subType, ComponentInstance* instance) {
  if (!instance) return paramErr;
  *instance = nullptr;
  if (type != GraphicsExporterComponentType || subType != kQTFileTypePicture) return invalidComponentID;
  auto* ci = new (std::nothrow) ComponentInstanceRecord{nullptr};
  if (!ci) return memFullErr;
  try {
    exporters.insert(ci);
  } catch (...) {
    delete ci;
    return memFullErr;
  }
  *instance = ci;
  return noErr;
}

OSErr CloseExporter(ComponentInstance instance) {
  if (!exporters.erase(instance)) return static_cast<OSErr>(badComponentInstance);
  delete instance;
  return noErr;
}

ComponentResult ExporterRequest(ComponentInstance instance, const ComponentParameters* params) {
  if (!exporters.count(instance)) return badComponentInstance;
  if (!params) return paramErr;
  switch (params->what) {
    case kGraphicsExportSetInputPictureSelect: {
      auto picture = reinterpret_cast<PicHandle>(static_cast<uintptr_t>(params->param));
      Rect frame;
      if (params->paramSize != 4 || !PictureFrame(picture, &frame)) return paramErr;
      instance->input = picture;
      return noErr;
    }
    case kGraphicsExportGetInputImageDimensionsSelect: {
      auto* out = reinterpret_cast<Rect*>(static_cast<uintptr_t>(params->param));
      Rect frame;
      if (params->paramSize != 4 || !out) return paramErr;
      if (!instance->input || !PictureFrame(instance->input, &frame)) return paramErr;
      // Dimensions, not placement: the frame moved to the origin.
      *out = Rect{0, 0, static_cast<int16_t>(frame.bottom - frame.top), static_cast<int16_t>(frame.right - frame.left)};
      return noErr;
    }
    default:
      return badComponentSelector;
  }
}

}  // namespace vmedia
