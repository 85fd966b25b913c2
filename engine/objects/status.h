// Status values the engine answers with, QuickTime's own numbers.
#pragma once
#include <stdint.h>

#include "media_interface/operations.h"

namespace vmedia {

constexpr OSErr noErr = 0;
constexpr OSErr ioErr = -36;
constexpr OSErr bdNamErr = -37;
constexpr OSErr tmfoErr = -42;
constexpr OSErr fnfErr = -43;
constexpr OSErr paramErr = -50;
constexpr OSErr rfNumErr = -51;
constexpr OSErr permErr = -54;
constexpr OSErr memFullErr = -108;
constexpr OSErr nilHandleErr = -109;
constexpr OSErr invalidMovie = -2010;
constexpr OSErr noMovieFound = -2048;
constexpr OSErr invalidComponentID = -3000;
constexpr OSErr codecErr = -8960;

constexpr int32_t badComponentInstance = static_cast<int32_t>(0x80008001u);
constexpr int32_t badComponentSelector = static_cast<int32_t>(0x80008002u);

}  // namespace vmedia
