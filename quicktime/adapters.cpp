#include "quicktime/adapters.h"

#include <stdint.h>

#include "quicktime/param_block.h"

Fixed X2Fix(double x) {
  // Left as 0 when the gate answers without writing it.
  Fixed cell = 0;
  X2FixDispatch(&cell, &x);
  return cell;
}

static ComponentResult RequestWithOneParameter(ComponentInstance ci, int16_t what,
                                               uint32_t param) {
  ComponentParameters block = MakeComponentParameters(what, param);
  return ComponentRequest(ci, &block);
}

ComponentResult GraphicsExportSetInputPicture(ComponentInstance ci, PicHandle picture) {
  return RequestWithOneParameter(ci, kGraphicsExportSetInputPictureSelect,
                                 static_cast<uint32_t>(reinterpret_cast<uintptr_t>(picture)));
}

ComponentResult GraphicsExportGetInputImageDimensions(ComponentInstance ci, Rect* dimensions) {
  return RequestWithOneParameter(ci, kGraphicsExportGetInputImageDimensionsSelect,
                                 static_cast<uint32_t>(reinterpret_cast<uintptr_t>(dimensions)));
}
