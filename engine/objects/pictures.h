// Pictures of movie frames and the PICT graphics exporter that measures them.
#pragma once
#include "engine/objects/movie.h"

namespace vmedia {

PicHandle MoviePicture(MovieRecord* m, TimeValue time);
void KillPictureHandle(PicHandle picture);

OSErr OpenExporter(OSType type, OSType subType, ComponentInstance* instance);
OSErr CloseExporter(ComponentInstance instance);
// A component request: parameter block with one 4-byte parameter.
ComponentResult ExporterRequest(ComponentInstance instance, const ComponentParameters* params);

}  // namespace vmedia
