// Vantoro-GetVideoFrame: the current frame's picture to the clipboard, as
// "Mac-PICT", "Mac-SIZE" and "Mac-LIST" items.
#include <string.h>

#include "player/checks.h"
#include "player/clipboard_formats.h"
#include "player/external_functions.h"
#include "player/frame_capture.h"
#include "quicktime/adapters.h"

namespace {

const UINT kClipboardBlockFlags = GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE;  // 0x2042

class PictureOwner {
 public:
  explicit PictureOwner(PicHandle picture) : picture_(picture) {}
  ~PictureOwner() { KillPicture(picture_); }
  PictureOwner(const PictureOwner&) = delete;
  PictureOwner& operator=(const PictureOwner&) = delete;

 private:
  PicHandle picture_;
};

// Closes the clipboard exactly once, however the copy ends.
class OpenedClipboard {
 public:
  OpenedClipboard() = default;
  ~OpenedClipboard() { CloseClipboard(); }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
};

Rect MeasurePicture(PicHandle picture) {
  Rect dimensions = {0, 0, 0, 0};
  ComponentInstance exporter = nullptr;
  ComponentResult status = OpenADefaultComponent(GraphicsExporterComponentType, kQTFileTypePicture, &exporter);
  if (status == 0) {
    status = GraphicsExportSetInputPicture(exporter, picture);
    if (status == 0) status = GraphicsExportGetInputImageDimensions(exporter, &dimensions);
    CloseComponent(exporter);
  }
  if (status != 0) RaiseError(kErrClipboard);
  return dimensions;
}

// Allocates a block, lets fill write it, and hands it to the clipboard. A
// block the clipboard does not take is freed.
template <class Fill>
void PlaceItem(UINT format, SIZE_T size, Fill fill) {
  HGLOBAL block = GlobalAlloc(kClipboardBlockFlags, size);
  if (!block) RaiseError(kErrClipboard);
  void* data = GlobalLock(block);
  if (!data) {
    GlobalFree(block);
    RaiseError(kErrClipboard);
  }
  fill(static_cast<uint8_t*>(data));
  GlobalUnlock(block);
  if (!SetClipboardData(format, block)) {
    GlobalFree(block);
    RaiseError(kErrClipboard);
  }
}

void PutLittleEndian32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

void PutBigEndian16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value >> 8);
  p[1] = static_cast<uint8_t>(value);
}

}  // namespace

void CopyFrameToClipboard(PicHandle picture) {
  Rect dimensions = MeasurePicture(picture);
  int32_t pictureSize = GetHandleSize(reinterpret_cast<Handle>(picture));
  // Formats left undeclared at initialisation (the clipboard was busy then)
  // are declared now; declaring a name needs no open clipboard.
  if (pictureSize <= 0 || !DeclareClipboardFormats()) RaiseError(kErrClipboard);

  // Another program holds the clipboard: report it rather than answer as if
  // the frame had been copied.
  if (!OpenClipboard(GetClipboardOwner())) RaiseError(kErrClipboard);
  OpenedClipboard opened;
  EmptyClipboard();

  PlaceItem(clipboardFormats[kFormatPICT], static_cast<SIZE_T>(pictureSize), [&](uint8_t* block) {
    Handle bytes = reinterpret_cast<Handle>(picture);
    HLock(bytes);
    BlockMoveData(*bytes, block, pictureSize);
    HUnlock(bytes);
  });
  PlaceItem(clipboardFormats[kFormatSIZE], 8, [&](uint8_t* block) {
    PutLittleEndian32(block, 4);
    PutBigEndian16(block + 4, static_cast<uint16_t>(dimensions.right - dimensions.left));
    PutBigEndian16(block + 6, static_cast<uint16_t>(dimensions.bottom - dimensions.top));
  });
  PlaceItem(clipboardFormats[kFormatLIST], 12, [&](uint8_t* block) {
    PutLittleEndian32(block, 8);
    memcpy(block + 4, "SIZE", 4);
    memcpy(block + 8, "PICT", 4);
  });
}

void GetVideoFrameFunction(const CallParameters& parameters, HostHandle result) {
  RunReportFrame(result, [&] {
    RequireArguments(parameters, 0, 0);
    Movie movie = RequireMovie();
    TimeValue time = GetMovieTime(movie, nullptr);
    PicHandle picture = GetMoviePict(movie, time);
    if (!picture) RaiseError(kErrNoPicture);
    PictureOwner owner(picture);
    CopyFrameToClipboard(picture);
  });
}
