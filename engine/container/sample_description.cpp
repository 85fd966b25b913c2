// ReadSampleDescription: the fixed fields of QuickTime and ISO visual and
// sound sample entries, and the configuration boxes that follow them.
#include "engine/container/sample_description.h"

#include <math.h>
#include <string.h>

#include "engine/container/atom_reader.h"

namespace vmedia {

namespace {

// Payload offsets of a sample entry's fixed fields (after the box header).
constexpr size_t kVisualFields = 78;  // through the colour table id
constexpr size_t kSoundFieldsV0 = 28, kSoundFieldsV1 = 44, kSoundFieldsV2 = 64;

void SetConfig(const uint8_t* p, size_t n, SampleDescription* d) {
  if (n > kMaxDescriptionConfig) return;
  d->config.assign(p, p + n);
}

// An MPEG-4 descriptor's tag and size (up to four bytes of seven bits);
// false when the size runs past what is left.
bool DescriptorHeader(FieldReader& r, uint8_t* tag, size_t* size) {
  *tag = r.U8();
  size_t n = 0;
  for (int i = 0; i < 4; ++i) {
    uint8_t b = r.U8();
    n = n << 7 | (b & 0x7f);
    if (!(b & 0x80)) break;
  }
  *size = n;
  return r.ok() && n <= r.Remaining();
}

// DecoderConfigDescriptor: the object type, then its DecoderSpecificInfo
// among the descriptors after the fixed fields.
void ReadDecoderConfig(const uint8_t* p, size_t n, SampleDescription* d, bool* haveConfig) {
  FieldReader r(p, n);
  uint8_t objectType = r.U8();
  r.Skip(1 + 3 + 4 + 4);  // stream type, buffer size, max and average bit rates
  if (!r.ok()) return;
  d->objectType = objectType;
  while (r.Remaining() >= 2) {
    uint8_t tag;
    size_t size;
    if (!DescriptorHeader(r, &tag, &size)) return;
    if (tag == 0x05) {
      SetConfig(r.Here(), size, d);
      *haveConfig = true;
      return;
    }
    r.Skip(size);
  }
}

// esds: version/flags, then an ES_Descriptor holding the decoder config
// (some writers give the decoder config on its own).
void ReadEsds(const uint8_t* p, size_t n, SampleDescription* d, bool* haveConfig) {
  FieldReader r(p, n);
  r.Skip(4);
  uint8_t tag;
  size_t size;
  if (!DescriptorHeader(r, &tag, &size)) return;
  if (tag == 0x04) return ReadDecoderConfig(r.Here(), size, d, haveConfig);
  if (tag != 0x03) return;
  FieldReader es(r.Here(), size);
  es.Skip(2);  // ES_ID
  uint8_t flags = es.U8();
  if (flags & 0x80) es.Skip(2);        // depends on ES_ID
  if (flags & 0x40) es.Skip(es.U8());  // URL
  if (flags & 0x20) es.Skip(2);        // OCR ES_ID
  while (es.ok() && es.Remaining() >= 2) {
    if (!DescriptorHeader(es, &tag, &size)) return;
    if (tag == 0x04) return ReadDecoderConfig(es.Here(), size, d, haveConfig);
    es.Skip(size);
  }
}

// The 'alac' box: version/flags and the 24-byte ALACSpecificConfig (some
// writers leave out the version). Given to the decoder as the whole box,
// header rebuilt, which is the layout FFmpeg's ALAC decoder reads.
void ReadAlac(const uint8_t* p, size_t n, SampleDescription* d, bool* haveConfig) {
  constexpr size_t kConfig = 24;
  if (n < kConfig) return;
  const uint8_t* config = n == kConfig ? p : p + 4;
  if (n != kConfig && n < 4 + kConfig) return;
  static const uint8_t kHeader[12] = {0, 0, 0, 36, 'a', 'l', 'a', 'c', 0, 0, 0, 0};
  d->config.assign(kHeader, kHeader + sizeof kHeader);
  d->config.insert(d->config.end(), config, config + kConfig);
  *haveConfig = true;
}

// What the boxes after the fixed fields say, for either kind of entry;
// 'wave' (QuickTime sound) holds more of them.
struct Extensions {
  bool haveConfig = false;
  bool havePasp = false;
  const uint8_t* glbl = nullptr;
  size_t glblSize = 0;
  int enda = -1;  // -1 none, 0 big-endian, 1 little-endian
  uint32_t srat = 0;
};

void ReadBoxes(const uint8_t* p, size_t n, bool inWave, SampleDescription* d, Extensions* x) {
  AtomIterator it(p, n);
  AtomSpan a;
  while (it.Next(&a)) {
    FieldReader r(a.data, a.size);
    switch (a.type) {
      case FourCC("avcC"): case FourCC("hvcC"): case FourCC("av1C"): case FourCC("SMI "):
        if (!x->haveConfig && a.size <= kMaxDescriptionConfig) {
          SetConfig(a.data, a.size, d);
          x->haveConfig = true;
        }
        break;
      case FourCC("esds"):
        if (!x->haveConfig && !d->objectType) ReadEsds(a.data, a.size, d, &x->haveConfig);
        break;
      case FourCC("alac"):
        if (!x->haveConfig) ReadAlac(a.data, a.size, d, &x->haveConfig);
        break;
      case FourCC("glbl"):
        if (!x->glbl) {
          x->glbl = a.data;
          x->glblSize = a.size;
        }
        break;
      case FourCC("pasp"): {
        if (x->havePasp) break;
        x->havePasp = true;
        const uint32_t h = r.U32(), v = r.U32();
        if (r.ok() && h && v) d->aspectH = h, d->aspectV = v;
        break;
      }
      case FourCC("fiel"): {
        uint8_t fields = r.U8();
        if (r.ok() && (fields == 1 || fields == 2)) d->fieldCount = fields;
        break;
      }
      case FourCC("enda"): {
        // Usually 16 bits; a single byte is seen too.
        uint32_t v = a.size >= 2 ? r.U16() : r.U8();
        if (r.ok()) x->enda = v ? 1 : 0;
        break;
      }
      case FourCC("srat"): {
        r.Skip(4);
        uint32_t rate = r.U32();
        if (r.ok() && rate) x->srat = rate;
        break;
      }
      case FourCC("frma"): {
        uint32_t f = r.U32();
        if (r.ok() && inWave) d->waveFormat = f;
        break;
      }
      case FourCC("wave"):
        if (!inWave) ReadBoxes(a.data, a.size, true, d, x);  // not nested further
        break;
    }
  }
}

void ReadVisual(const uint8_t* p, size_t n, SampleDescription* d, Extensions* x) {
  FieldReader r(p, n);
  r.Skip(24);
  const uint16_t width = r.U16(), height = r.U16();
  if (!r.ok()) return;
  d->width = width;
  d->height = height;
  r.Skip(4 + 4 + 4 + 2 + 32);  // resolutions, data size, frame count, compressor name
  uint16_t depth = r.U16();
  int16_t tableId = int16_t(r.U16());
  if (!r.ok()) return;
  d->depth = depth;
  d->greyscale = depth > 32 && depth <= 40;
  const uint32_t bits = d->greyscale ? depth - 32u : depth;
  const bool indexed = bits == 1 || bits == 2 || bits == 4 || bits == 8;
  size_t boxes = kVisualFields;
  if (indexed) {
    d->palette = DefaultPalette(bits, d->greyscale);
    if (tableId == 0) {
      // The colour table inline: seed, flags, size (entries - 1), then
      // {value, red, green, blue} 16 bits each, read in order.
      r.Skip(4 + 2);
      const uint32_t count = uint32_t(r.U16()) + 1;
      if (!r.ok() || count > r.Remaining() / 8) return;  // no room for boxes either
      for (uint32_t i = 0; i < count; ++i) {
        r.U16();
        uint32_t red = r.U16() >> 8, green = r.U16() >> 8, blue = r.U16() >> 8;
        if (i < d->palette.size()) d->palette[i] = 0xFF000000u | red << 16 | green << 8 | blue;
      }
      boxes = n - r.Remaining();
    }
  }
  ReadBoxes(p + boxes, n - boxes, false, d, x);
}

double Fixed16(uint32_t v) { return v / 65536.0; }

void ReadSound(const uint8_t* p, size_t n, SampleDescription* d, Extensions* x) {
  FieldReader r(p, n);
  r.Skip(8);
  const uint16_t version = r.U16();
  r.Skip(2 + 4);  // revision, vendor
  uint16_t channels = r.U16(), sampleSize = r.U16();
  r.Skip(2 + 2);  // compression id, packet size
  uint32_t rate = r.U32();
  if (!r.ok()) return;
  d->version = version;
  size_t boxes = kSoundFieldsV0;
  if (version == 2) {
    FieldReader v2(p + kSoundFieldsV0, n - kSoundFieldsV0);
    uint32_t structSize = v2.U32();
    uint64_t rateBits = v2.U64();
    uint32_t ch = v2.U32();
    v2.Skip(4);
    uint32_t bits = v2.U32(), flags = v2.U32(), bytesPerPacket = v2.U32(), framesPerPacket = v2.U32();
    if (!v2.ok()) return;
    double rate64;
    memcpy(&rate64, &rateBits, sizeof rate64);
    d->sampleRate = isfinite(rate64) && rate64 > 0 ? rate64 : 0;
    d->channels = ch;
    d->bitsPerSample = bits;
    d->lpcmFlags = flags;
    d->constBytesPerPacket = bytesPerPacket;
    d->constFramesPerPacket = framesPerPacket;
    // The struct size counts the entry's 8-byte box header.
    boxes = structSize >= kSoundFieldsV2 + 8 && structSize - 8 <= n ? structSize - 8 : kSoundFieldsV2;
  } else {
    d->channels = channels;
    d->bitsPerSample = sampleSize;
    d->sampleRate = Fixed16(rate);
    // Version 1 is QuickTime's four more fields, or ISO's AudioSampleEntryV1
    // with boxes straight after; a box header there has a printable type
    // where QuickTime has a byte count.
    const bool isoV1 = n >= kSoundFieldsV0 + 8 && PrintableFourCC(FieldReader(p + kSoundFieldsV0 + 4, 4).U32());
    if (version == 1 && !isoV1) {
      FieldReader v1(p + kSoundFieldsV0, n - kSoundFieldsV0);
      uint32_t spp = v1.U32(), bpp = v1.U32(), bpf = v1.U32(), bps = v1.U32();
      if (!v1.ok()) return;
      d->samplesPerPacket = spp;
      d->bytesPerPacket = bpp;
      d->bytesPerFrame = bpf;
      d->bytesPerSample = bps;
      boxes = kSoundFieldsV1;
    }
  }
  ReadBoxes(p + boxes, n - boxes, false, d, x);
  if (x->srat && version != 2) d->sampleRate = x->srat;

  switch (d->format) {
    case FourCC("twos"): case FourCC("in24"): case FourCC("in32"): case FourCC("fl32"):
    case FourCC("fl64"):
      d->bigEndian = x->enda != 1;
      break;
    case FourCC("lpcm"):
      d->bigEndian = (d->lpcmFlags & kLpcmBigEndian) != 0;
      break;
  }
}

}  // namespace

void ReadSampleDescription(uint32_t format, const uint8_t* payload, size_t size, TrackKind kind,
                           SampleDescription* out) {
  *out = SampleDescription();
  out->format = format;
  Extensions x;
  if (kind == TrackKind::Video) {
    ReadVisual(payload, size, out, &x);
  } else if (kind == TrackKind::Sound) {
    ReadSound(payload, size, out, &x);
  } else if (size >= 8) {
    // Other entries (timed text, 'mp4s' streams) have only the SampleEntry
    // fields before their boxes.
    ReadBoxes(payload + 8, size - 8, false, out, &x);
  }
  if (!x.haveConfig && x.glbl) SetConfig(x.glbl, x.glblSize, out);
}

JpegCoding JpegCodingOf(const SampleDescription& d) {
  switch (d.format) {
    case FourCC("jpeg"): case FourCC("mjpa"): case FourCC("AVDJ"): case FourCC("dmb1"):
      return JpegCoding::Jpeg;
    case FourCC("mjpb"):
      return JpegCoding::MotionJpegB;
    case FourCC("mp4v"):
      return d.objectType == 0x6C ? JpegCoding::Jpeg : JpegCoding::None;
  }
  return JpegCoding::None;
}

std::vector<uint32_t> DefaultPalette(uint32_t bits, bool grey) {
  std::vector<uint32_t> p;
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8) return p;
  const uint32_t count = 1u << bits;
  p.resize(count);
  auto rgb = [](uint32_t r, uint32_t g, uint32_t b) { return 0xFF000000u | r << 16 | g << 8 | b; };
  if (grey || bits <= 2) {
    // Macintosh grey tables, and its one- and two-bit colour tables, run
    // from white down to black in even steps.
    const uint32_t step = 255 / (count - 1);
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t v = 255 - i * step;
      p[i] = rgb(v, v, v);
    }
    if (bits == 2 && !grey) p[1] = rgb(0xAC, 0xAC, 0xAC), p[2] = rgb(0x55, 0x55, 0x55);
    return p;
  }
  if (bits == 4) {
    static const uint32_t kSixteen[16] = {
        0xFFFFFF, 0xFCF305, 0xFF6402, 0xDD0806, 0xF20884, 0x4600A5, 0x0000D4, 0x02ABEA,
        0x1FB714, 0x006411, 0x562C05, 0x90713A, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
    for (uint32_t i = 0; i < 16; ++i) p[i] = 0xFF000000u | kSixteen[i];
    return p;
  }
  // The eight-bit table: the 6x6x6 cube from white (less its black), ramps
  // of ten reds, greens, blues and greys without the cube's levels, black.
  for (uint32_t i = 0; i < 215; ++i)
    p[i] = rgb(255 - 51 * (i / 36), 255 - 51 * (i / 6 % 6), 255 - 51 * (i % 6));
  static const uint8_t kRamp[10] = {0xEE, 0xDD, 0xBB, 0xAA, 0x88, 0x77, 0x55, 0x44, 0x22, 0x11};
  for (uint32_t k = 0; k < 10; ++k) {
    p[215 + k] = rgb(kRamp[k], 0, 0);
    p[225 + k] = rgb(0, kRamp[k], 0);
    p[235 + k] = rgb(0, 0, kRamp[k]);
    p[245 + k] = rgb(kRamp[k], kRamp[k], kRamp[k]);
  }
  p[255] = rgb(0, 0, 0);
  return p;
}

}  // namespace vmedia
