// What a decoder needs from a track's first sample description (stsd):
// the format, its configuration bytes, and the picture or sound fields of
// the QuickTime or ISO sample entry. Read while the moov is parsed; damage
// in an entry costs fields, never the movie.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace vmedia {

// A sample entry's configuration bytes are refused past this size.
constexpr size_t kMaxDescriptionConfig = 1u << 20;

// The first sample description of a track, as a decoder needs it.
struct SampleDescription {
  // The entry's four-character code ('avc1', 'hvc1', 'mp4v', 'jpeg', 'rle ',
  // 'apch', 'dvc ', 'raw ', 'mp4a', 'alac', 'twos', 'ima4', 'lpcm', ...);
  // for 'mp4v'/'mp4a' see objectType too.
  uint32_t format = 0;
  // Codec configuration, at most kMaxDescriptionConfig bytes; empty when the
  // entry has none or it is damaged. The first of these found in the entry
  // (or in its QuickTime 'wave' box):
  //   avcC, hvcC, av1C: the box payload, without its header.
  //   esds: the DecoderSpecificInfo payload (AudioSpecificConfig, the
  //         MPEG-4 Visual VOL header); empty when esds has none (MP3).
  //   'SMI ' (SVQ3): the box payload, from its 'SEQH'.
  //   alac: 36 bytes, FFmpeg's ALAC extradata: a box header rebuilt as
  //         size 36, 'alac', version/flags 0, then the 24-byte
  //         ALACSpecificConfig (frame length ... sample rate) from the entry.
  // Else the 'glbl' payload where the entry has one.
  std::vector<uint8_t> config;
  // esds DecoderConfigDescriptor objectTypeIndication (0x40 AAC, 0x20
  // MPEG-4 Visual, 0x6B/0x69 MP3, 0x6C JPEG...), 0 without esds.
  uint8_t objectType = 0;

  // Visual entries: the fixed fields.
  uint16_t width = 0, height = 0;
  uint16_t depth = 0;      // bits per pixel as stored; 33..40 are 1..8-bit grey
  bool greyscale = false;  // depth 33..40
  // ARGB (alpha 0xFF) for 1, 2, 4 and 8 bits a pixel, colour or grey, 1 <<
  // bits entries: the entry's own colour table (colour table id 0, the
  // table inline; colours it leaves out keep the standard ones), else the
  // standard Macintosh table for the depth (grey: white to black). Empty
  // for other depths.
  std::vector<uint32_t> palette;
  uint32_t fieldCount = 0;  // 'fiel': 1 or 2; 0 without one
  uint32_t aspectH = 0, aspectV = 0;  // 'pasp' pixel aspect h:v; 0:0 without one

  // Sound entries (QuickTime versions 0, 1, 2 and ISO AudioSampleEntry),
  // as stored: ISO entries say 2 channels and 16 bits whatever the stream
  // (AAC, MP3, AC-3 decoders read their own), QuickTime version 1 keeps 16
  // bits for 24-bit PCM (bytesPerFrame tells).
  uint32_t channels = 0;
  double sampleRate = 0;       // v2's 64-bit float, else 16.16; ISO 'srat' wins
  uint32_t bitsPerSample = 0;  // the sample size field; v2 constBitsPerChannel
  // QuickTime version 1; 0 otherwise.
  uint32_t samplesPerPacket = 0, bytesPerPacket = 0, bytesPerFrame = 0, bytesPerSample = 0;
  // QuickTime version 2 (formatSpecificFlags, constBytesPerAudioPacket,
  // constLPCMFramesPerAudioPacket); 0 otherwise.
  uint32_t lpcmFlags = 0, constBytesPerPacket = 0, constFramesPerPacket = 0;
  // PCM byte order: 'twos', 'in24', 'in32', 'fl32', 'fl64' are big-endian
  // unless an 'enda' box says little; 'lpcm' by its flags.
  bool bigEndian = false;
  // The 'frma' inside a 'wave' box: the format the entry wraps; 0 without.
  uint32_t waveFormat = 0;
  uint32_t version = 0;  // the sound entry's version field (0, 1, 2)
};

// Pictures coded as JPEG: Photo-JPEG, Motion JPEG A (also as Avid and
// Matrox write it) and B, and MPEG-4's JPEG object type. Their samples code
// the full 0-255 range.
enum class JpegCoding { None, Jpeg, MotionJpegB };
JpegCoding JpegCodingOf(const SampleDescription& d);

// lpcmFlags bits (QuickTime version 2 sound).
constexpr uint32_t kLpcmFloat = 0x1, kLpcmBigEndian = 0x2, kLpcmSignedInteger = 0x4,
                   kLpcmPacked = 0x8;

enum class TrackKind { Video, Sound, Other };

// Reads one sample entry: payload is what follows its 8-byte box header
// (6 reserved bytes, the data reference index, then the fixed fields).
// Visual fields for video tracks, sound fields for sound tracks; the
// format and configuration for every kind.
void ReadSampleDescription(uint32_t format, const uint8_t* payload, size_t size, TrackKind kind,
                           SampleDescription* out);

// The standard Macintosh colour table for a depth of 1, 2, 4 or 8 bits,
// or its grey ramp; empty for other depths.
std::vector<uint32_t> DefaultPalette(uint32_t bits, bool grey);

}  // namespace vmedia
