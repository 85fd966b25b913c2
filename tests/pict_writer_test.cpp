// The picture writer: PackBits, the picture's layout, its pixels read back
// by QuickDraw's rules, and (natively, where installed) by ImageMagick.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <string>

#include "engine/picture/pict_writer.h"

using namespace vmedia;

namespace {

using Bytes = std::vector<uint8_t>;

// Unpacks exactly n bytes; false on any overrun.
bool UnpackBits(const uint8_t*& p, const uint8_t* end, Bytes* out, size_t n) {
  while (out->size() < n) {
    if (p >= end) return false;
    int8_t c = int8_t(*p++);
    if (c >= 0) {
      if (end - p < c + 1) return false;
      out->insert(out->end(), p, p + c + 1);
      p += c + 1;
    } else if (c != -128) {
      if (p >= end) return false;
      out->insert(out->end(), size_t(1 - c), *p++);
    }
  }
  return out->size() == n;
}

uint16_t Be16(const Bytes& b, size_t at) { return uint16_t(b[at] << 8 | b[at + 1]); }

// A test pattern in the writer's input order: B, G, R, unused.
Bytes Pattern(int w, int h, int stride) {
  Bytes img(size_t(stride) * h, 0x77);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &img[size_t(y) * stride + 4 * x];
      p[0] = uint8_t(x * 7 + y);
      p[1] = uint8_t(y * 13);
      p[2] = x < w / 2 ? 0xFF : uint8_t(x * y);
      p[3] = 0x55;
    }
  return img;
}

// Reads the pixels back as QuickDraw would: fixed layout up to the
// DirectBitsRect, then rows counted in words when rowBytes > 250. Returns
// R, G, B per pixel.
Bytes DecodeOurPict(const Bytes& pict, int* w, int* h) {
  const size_t op = 2 + 8 + 4 + 2 + 24 + 2 + 10;  // size, frame, version, header, clip
  EXPECT_EQ(0x009A, Be16(pict, op));
  const uint16_t rowBytes = Be16(pict, op + 6) & 0x3FFF;
  const int pixWidth = Be16(pict, op + 14);
  *h = Be16(pict, 6);
  *w = Be16(pict, 8);
  EXPECT_EQ(*w, Be16(pict, op + 58));  // srcRect right
  const uint8_t* p = pict.data() + op + 2 + 4 + 46 + 18;
  const uint8_t* end = pict.data() + pict.size();
  Bytes rgb;
  for (int y = 0; y < *h; ++y) {
    size_t count = rowBytes > 250 ? size_t(p[0] << 8 | p[1]) : p[0];
    p += rowBytes > 250 ? 2 : 1;
    const uint8_t* rowEnd = p + count;
    Bytes planes;
    EXPECT_TRUE(UnpackBits(p, rowEnd, &planes, size_t(pixWidth) * 3)) << y;
    EXPECT_EQ(rowEnd, p) << y;
    planes.resize(size_t(pixWidth) * 3);
    for (int x = 0; x < *w; ++x)
      rgb.insert(rgb.end(), {planes[x], planes[pixWidth + x], planes[2 * pixWidth + x]});
  }
  if ((p - (pict.data() + op)) & 1) ++p;
  EXPECT_EQ(2, end - p);
  EXPECT_EQ(0x00FF, Be16(pict, pict.size() - 2));
  return rgb;
}

Bytes ExpectedRgb(const Bytes& img, int w, int h, int stride) {
  Bytes rgb;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = &img[size_t(y) * stride + 4 * x];
      rgb.insert(rgb.end(), {p[2], p[1], p[0]});
    }
  return rgb;
}

}  // namespace

TEST(PackBits, AppleExampleAndRoundTrips) {
  const Bytes in = {0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A, 0xAA, 0xAA, 0xAA, 0xAA, 0x80, 0x00,
                    0x2A, 0x22, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(Bytes({0xFE, 0xAA, 0x02, 0x80, 0x00, 0x2A, 0xFD, 0xAA, 0x03, 0x80, 0x00, 0x2A, 0x22,
                   0xF7, 0xAA}),
            PackBits(in.data(), in.size()));
  EXPECT_TRUE(PackBits(nullptr, 0).empty());

  std::vector<Bytes> cases = {{7}, Bytes(300, 9), Bytes(128, 1), Bytes(129, 1), {1, 1, 2, 2, 3, 3}};
  Bytes noise(1000), twos;
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 2654435761u >> 13);
  for (int i = 0; i < 200; ++i) twos.insert(twos.end(), {uint8_t(i), uint8_t(i)});
  cases.push_back(noise);
  cases.push_back(twos);
  for (const Bytes& c : cases) {
    Bytes packed = PackBits(c.data(), c.size());
    EXPECT_LE(packed.size(), c.size() + (c.size() + 127) / 128);
    const uint8_t* p = packed.data();
    Bytes out;
    EXPECT_TRUE(UnpackBits(p, packed.data() + packed.size(), &out, c.size()));
    EXPECT_EQ(c, out);
    EXPECT_EQ(packed.data() + packed.size(), p);
  }
}

TEST(PictWriter, HeaderLayout) {
  Bytes img = Pattern(320, 240, 1280);
  Bytes pict = WritePict(img.data(), 320, 240, 1280);
  ASSERT_GT(pict.size(), 200u);
  EXPECT_EQ(0u, pict.size() % 2);
  EXPECT_EQ(uint16_t(pict.size()), Be16(pict, 0));
  const Bytes head = {0, 0, 0, 0, 0x00, 0xF0, 0x01, 0x40,   // frame 0,0,240,320
                      0x00, 0x11, 0x02, 0xFF, 0x0C, 0x00,   // version 2, header
                      0xFF, 0xFE, 0, 0, 0, 0x48, 0, 0, 0, 0x48, 0, 0,
                      0, 0, 0, 0, 0x00, 0xF0, 0x01, 0x40, 0, 0, 0, 0,
                      0x00, 0x01, 0x00, 0x0A, 0, 0, 0, 0, 0x00, 0xF0, 0x01, 0x40,  // clip
                      0x00, 0x9A, 0, 0, 0, 0xFF, 0x85, 0x00};  // DirectBitsRect, rowBytes 1280
  EXPECT_EQ(head, Bytes(pict.begin() + 2, pict.begin() + 2 + ptrdiff_t(head.size())));
  const size_t pm = 2 + head.size() + 8;  // after bounds
  EXPECT_EQ(4, Be16(pict, pm + 2));       // packType
  EXPECT_EQ(16, Be16(pict, pm + 16));     // direct RGB
  EXPECT_EQ(32, Be16(pict, pm + 18));     // pixelSize
  EXPECT_EQ(3, Be16(pict, pm + 20));      // cmpCount
  EXPECT_EQ(8, Be16(pict, pm + 22));      // cmpSize
  EXPECT_EQ(0, Be16(pict, pm + 52));      // srcCopy

  EXPECT_TRUE(WritePict(nullptr, 2, 2, 8).empty());
  EXPECT_TRUE(WritePict(img.data(), 0, 2, 8).empty());
  EXPECT_TRUE(WritePict(img.data(), 2, 0, 8).empty());
  EXPECT_TRUE(WritePict(img.data(), 4, 2, 15).empty());
  EXPECT_TRUE(WritePict(img.data(), kMaxPictWidth + 1, 1, 4 * 4096).empty());
}

TEST(PictWriter, PixelsReadBackExactly) {
  for (int w : {1, 2, 3, 5, 62, 63, 64, 66, 67, 250, 320}) {
    const int h = 3, stride = w * 4 + 8;  // a padded stride is honoured
    Bytes img = Pattern(w, h, stride);
    Bytes pict = WritePict(img.data(), w, h, stride);
    ASSERT_FALSE(pict.empty()) << w;
    int rw = 0, rh = 0;
    EXPECT_EQ(ExpectedRgb(img, w, h, stride), DecodeOurPict(pict, &rw, &rh)) << w;
    EXPECT_EQ(w, rw);
    EXPECT_EQ(h, rh);
  }
}

#ifdef VANTORO_CONVERT
// Every width from 1 to 400 at odd heights, from rows exactly as wide as
// the picture in a buffer of exactly its size (the sanitizers catch a read
// past it): the pixels read back exactly.
TEST(PictWriter, EveryWidthFromExactRows) {
  for (int w = 1; w <= 400; ++w)
    for (int h : {1, 3}) {
      Bytes img = Pattern(w, h, w * 4);
      Bytes pict = WritePict(img.data(), w, h, w * 4);
      ASSERT_FALSE(pict.empty()) << w << "x" << h;
      int rw = 0, rh = 0;
      ASSERT_EQ(ExpectedRgb(img, w, h, w * 4), DecodeOurPict(pict, &rw, &rh)) << w << "x" << h;
    }
}

TEST(PictWriter, ImageMagickReadsTheSamePixels) {
  const std::string dir = ::testing::TempDir();
  for (int w : {1, 2, 7, 63, 66, 67, 320}) {
    const int h = w == 320 ? 240 : 4;
    Bytes img = Pattern(w, h, w * 4);
    Bytes pict = WritePict(img.data(), w, h, w * 4);
    const std::string in = dir + "vantoro_pict_test.pict", out = dir + "vantoro_pict_test.rgb";
    {
      std::ofstream f(in, std::ios::binary);
      f << std::string(512, '\0');
      f.write(reinterpret_cast<const char*>(pict.data()), std::streamsize(pict.size()));
    }
    const std::string cmd = std::string(VANTORO_CONVERT) + " pict:" + in + " -depth 8 rgb:" + out + " 2>&1";
    ASSERT_EQ(0, system(cmd.c_str())) << cmd;
    std::ifstream r(out, std::ios::binary);
    Bytes got((std::istreambuf_iterator<char>(r)), {});
    EXPECT_EQ(ExpectedRgb(img, w, h, w * 4), got) << "width " << w;
    remove(in.c_str());
    remove(out.c_str());
  }
}
#endif
