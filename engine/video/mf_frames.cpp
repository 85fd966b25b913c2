// Pictures through Media Foundation's source reader. The reader's clock
// need not be the movie's (edit lists, composition offsets): the first
// picture read is shown index 0, and times are mapped through that offset.
#include <mfapi.h>
#include <mfidl.h>
#include <mferror.h>
#include <mfreadwrite.h>

#include <algorithm>
#include <mutex>

#include "engine/video/mf_frames.h"

#include "engine/platform/media_foundation.h"
#include "engine/video/picture_limits.h"
#include "engine/video/sample_times.h"
#include "engine/video/yuv.h"

namespace vmedia {
namespace {

constexpr DWORD kVideoStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);

template <class T>
void Release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// The output format a reader last took for each coded format, tried first
// next time. Every refused format costs the reader a fresh search for a
// decoder chain, and Wine's leaks registry handles on each such search.
std::mutex acceptedLock;
std::vector<std::pair<GUID, GUID>> acceptedFormats;

GUID AcceptedFormat(const GUID& coded) {
  std::lock_guard<std::mutex> lock(acceptedLock);
  for (const auto& a : acceptedFormats)
    if (a.first == coded) return a.second;
  return GUID_NULL;
}

void RememberAccepted(const GUID& coded, const GUID& output) {
  std::lock_guard<std::mutex> lock(acceptedLock);
  for (auto& a : acceptedFormats) {
    if (a.first == coded) {
      a.second = output;
      return;
    }
  }
  if (acceptedFormats.size() < 64) acceptedFormats.emplace_back(coded, output);
}


class MediaFoundationFrames : public FrameReader {
 public:
  explicit MediaFoundationFrames(const FrameRequest& shape)
      : path_(shape.path), times_(shape.times), scale_(shape.scale > 0 ? shape.scale : 600), width_(shape.width),
        height_(shape.height), orientation_(shape.orientation), fullRangeHint_(shape.fullRangeHint) {}

  bool Open();
  bool Seek(int index, Frame* frame, bool* endOfStream) override;
  bool Next(Frame* frame, bool* endOfStream) override;

 private:
  struct Reader {
    IMFSourceReader* reader = nullptr;
    DWORD stream = kVideoStream;
    PixelLayout layout = PixelLayout::NV12;
    YuvMatrix matrix = YuvMatrix::Bt601;
    int frameWidth = 0;
    int frameHeight = 0;
    LONG defaultStride = 0;  // 0: not given
    bool fullRange = false;
    ~Reader() { Release(reader); }
  };
  struct StoredPicture {
    int width = 0, height = 0;  // of the decoded picture, padding cropped
    bool direct = true;         // converted straight into the picture shown
  };

  DWORD ChooseStream(IMFSourceReader* reader) const;
  bool OpenReader(Reader* r);
  StoredPicture Stored(const Reader* r) const;
  bool ReadFrame(Reader* r, int64_t skipBelow, bool convert, Frame* frame, int64_t* readTime, bool* endOfStream);
  bool Position(Reader* r, int index, Frame* frame, int64_t* time, bool* endOfStream);
  int IndexOf(int64_t readerTime) const;
  int64_t TargetTime(int index) const;
  int64_t Tolerance(int index) const;

  const std::wstring path_;
  const std::vector<int32_t> times_;
  const int32_t scale_;
  const int width_;
  const int height_;
  const Orientation orientation_;
  const bool fullRangeHint_;
  Reader reader_;
  int64_t offset_ = 0;          // reader time - movie time, 100 ns units
  int64_t skipBelow_ = INT64_MIN;
  Frame first_;                 // read at Open, not yet delivered while firstPending_
  bool firstPending_ = false;
};

int64_t MediaFoundationFrames::TargetTime(int index) const {
  if (times_.empty()) return 0;
  index = std::clamp(index, 0, static_cast<int>(times_.size()) - 1);
  return static_cast<int64_t>(times_[index]) * 10000000 / scale_;
}

// Half the gap to the neighbouring sample: a decoded time this close to the
// target belongs to it, whatever rounding the reader did.
int64_t MediaFoundationFrames::Tolerance(int index) const {
  int64_t gap = 400000;
  if (index > 0 && index < static_cast<int>(times_.size()))
    gap = TargetTime(index) - TargetTime(index - 1);
  else if (times_.size() > 1)
    gap = TargetTime(1) - TargetTime(0);
  return std::max<int64_t>(gap / 2, 1);
}

// The reader's stream of the movie's video track. With several video
// tracks the reader's first need not be the one the time line describes:
// take the first whose picture has the track's size, else the first.
DWORD MediaFoundationFrames::ChooseStream(IMFSourceReader* reader) const {
  const int shownWidth = orientation_.Sideways() ? height_ : width_;
  const int shownHeight = orientation_.Sideways() ? width_ : height_;
  DWORD first = kVideoStream;
  for (DWORD i = 0; i < 64; ++i) {
    IMFMediaType* type = nullptr;
    HRESULT hr = reader->GetNativeMediaType(i, 0, &type);
    if (hr == MF_E_INVALIDSTREAMNUMBER) break;
    if (FAILED(hr)) continue;
    GUID major = GUID_NULL;
    UINT32 w = 0, h = 0;
    type->GetGUID(MF_MT_MAJOR_TYPE, &major);
    MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &w, &h);
    type->Release();
    if (major != MFMediaType_Video) continue;
    if (first == kVideoStream) first = i;
    auto fits = [](UINT32 decoded, int shown) { return int(decoded) >= shown && int(decoded) - shown < 16; };
    if (fits(w, shownWidth) && fits(h, shownHeight)) return i;
  }
  return first;
}

bool MediaFoundationFrames::OpenReader(Reader* r) {
  if (FAILED(OpenSourceReader(path_, true, &r->reader))) return false;
  r->reader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
  r->stream = ChooseStream(r->reader);
  if (FAILED(r->reader->SetStreamSelection(r->stream, TRUE))) return false;
  // Where the reader offers RGB we take it; otherwise one of the YUV forms
  // we convert ourselves.
  static const struct {
    const GUID* subtype;
    PixelLayout layout;
  } kFormats[] = {{&MFVideoFormat_RGB32, PixelLayout::BGRX}, {&MFVideoFormat_NV12, PixelLayout::NV12},
                  {&MFVideoFormat_IYUV, PixelLayout::I420},  {&MFVideoFormat_I420, PixelLayout::I420},
                  {&MFVideoFormat_YUY2, PixelLayout::YUY2}};
  GUID coded = GUID_NULL;
  IMFMediaType* codedType = nullptr;
  if (SUCCEEDED(r->reader->GetNativeMediaType(r->stream, 0, &codedType))) {
    codedType->GetGUID(MF_MT_SUBTYPE, &coded);
    Release(codedType);
  }
  const GUID accepted = coded == GUID_NULL ? GUID_NULL : AcceptedFormat(coded);
  bool chosen = false;
  for (int pass = accepted == GUID_NULL ? 1 : 0; pass < 2 && !chosen; ++pass) {
    for (const auto& f : kFormats) {
      // First pass: only the format that worked before. Second: all of them.
      if (pass == 0 && *f.subtype != accepted) continue;
      if (pass == 1 && *f.subtype == accepted) continue;
      IMFMediaType* type = nullptr;
      if (FAILED(CreateMediaType(&type))) return false;
      type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
      type->SetGUID(MF_MT_SUBTYPE, *f.subtype);
      HRESULT hr = r->reader->SetCurrentMediaType(r->stream, nullptr, type);
      type->Release();
      if (SUCCEEDED(hr)) {
        r->layout = f.layout;
        chosen = true;
        if (coded != GUID_NULL && *f.subtype != accepted) RememberAccepted(coded, *f.subtype);
        break;
      }
    }
  }
  if (!chosen) return false;
  IMFMediaType* current = nullptr;
  if (FAILED(r->reader->GetCurrentMediaType(r->stream, &current))) return false;
  UINT32 w = 0, h = 0;
  MFGetAttributeSize(current, MF_MT_FRAME_SIZE, &w, &h);
  r->frameWidth = static_cast<int>(w);
  r->frameHeight = static_cast<int>(h);
  UINT32 stride = 0;
  if (SUCCEEDED(current->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride))) r->defaultStride = static_cast<LONG>(stride);
  UINT32 matrix = 0;
  if (SUCCEEDED(current->GetUINT32(MF_MT_YUV_MATRIX, &matrix)))
    r->matrix = matrix == MFVideoTransferMatrix_BT709 ? YuvMatrix::Bt709 : YuvMatrix::Bt601;
  else
    r->matrix = h >= 720 ? YuvMatrix::Bt709 : YuvMatrix::Bt601;
  // JPEG pictures use the full range of codes; readers do not always say so.
  UINT32 range = 0;
  if (SUCCEEDED(current->GetUINT32(MF_MT_VIDEO_NOMINAL_RANGE, &range))) r->fullRange = range == MFNominalRange_0_255;
  current->Release();
  IMFMediaType* native = nullptr;
  if (!range && SUCCEEDED(r->reader->GetNativeMediaType(r->stream, 0, &native))) {
    GUID subtype = GUID_NULL;
    native->GetGUID(MF_MT_SUBTYPE, &subtype);
    r->fullRange = subtype == MFVideoFormat_MJPG || fullRangeHint_;
    native->Release();
  }
  return r->frameWidth > 0 && r->frameHeight > 0;
}

// The part of the decoded picture that is the stored picture, and whether it
// can be converted straight into the picture shown. Decoders may pad the
// picture to whole macroblocks (1080 rows as 1088): less than 16 extra
// columns or rows are padding, cropped; any other difference from the
// display size is pixel aspect, scaled.
MediaFoundationFrames::StoredPicture MediaFoundationFrames::Stored(const Reader* r) const {
  const int shownWidth = orientation_.Sideways() ? height_ : width_;
  const int shownHeight = orientation_.Sideways() ? width_ : height_;
  auto crop = [](int decoded, int shown) { return decoded > shown && decoded - shown < 16 ? shown : decoded; };
  StoredPicture p;
  p.width = std::min(crop(r->frameWidth, shownWidth), int(kMaxPictureSide));
  p.height = std::min(crop(r->frameHeight, shownHeight), int(kMaxPictureSide));
  if (int64_t(p.width) * p.height > kMaxPicturePixels) p.height = int(kMaxPicturePixels / std::max(p.width, 1));
  p.direct = orientation_.Plain() && p.width == width_ && p.height == height_;
  if (p.direct || p.width <= 0 || p.height <= 0) {
    // Straight in, at most what both have (a bad stream's size is not
    // trusted for the allocation).
    p.direct = true;
    p.width = std::min(width_, std::max(r->frameWidth, 0));
    p.height = std::min(height_, std::max(r->frameHeight, 0));
  }
  return p;
}

// Reads until a picture at or after skipBelow (reader time) arrives; with
// `convert` it is turned into BGRX. Index is left to the caller.
bool MediaFoundationFrames::ReadFrame(Reader* r, int64_t skipBelow, bool convert, Frame* frame, int64_t* readTime,
                             bool* endOfStream) {
  *endOfStream = false;
  for (int guard = 0; guard < 100000; ++guard) {
    DWORD streamIndex = 0, flags = 0;
    LONGLONG time = 0;
    IMFSample* sample = nullptr;
    HRESULT hr = r->reader->ReadSample(r->stream, 0, &streamIndex, &flags, &time, &sample);
    if (FAILED(hr) || (flags & MF_SOURCE_READERF_ERROR)) {
      Release(sample);
      *endOfStream = true;
      return false;
    }
    if (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) {
      IMFMediaType* current = nullptr;
      if (SUCCEEDED(r->reader->GetCurrentMediaType(r->stream, &current))) {
        UINT32 w = 0, h = 0, stride = 0;
        MFGetAttributeSize(current, MF_MT_FRAME_SIZE, &w, &h);
        r->frameWidth = static_cast<int>(w);
        r->frameHeight = static_cast<int>(h);
        r->defaultStride = SUCCEEDED(current->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride)) ? static_cast<LONG>(stride) : 0;
        current->Release();
      }
    }
    if (flags & MF_SOURCE_READERF_ENDOFSTREAM) {
      Release(sample);
      *endOfStream = true;
      return false;
    }
    if (!sample) continue;
    if (time < skipBelow) {
      sample->Release();
      continue;
    }
    *readTime = time;
    frame->index = -1;
    frame->width = width_;
    frame->height = height_;
    bool ok = true;
    if (convert) {
      ok = false;
      IMFMediaBuffer* buffer = nullptr;
      if (SUCCEEDED(sample->ConvertToContiguousBuffer(&buffer))) {
        auto pixels = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(width_) * height_ * 4, 0);
        StoredPicture stored = Stored(r);
        uint8_t* convertTo = pixels->data();
        ptrdiff_t convertPitch = static_cast<ptrdiff_t>(width_) * 4;
        std::vector<uint8_t> coded;
        if (!stored.direct) {
          // Turned or scaled: converted at its stored size first.
          coded.resize(static_cast<size_t>(stored.width) * stored.height * 4);
          convertTo = coded.data();
          convertPitch = static_cast<ptrdiff_t>(stored.width) * 4;
        }
        int w = stored.width, h = stored.height;
        SourcePicture src{};
        src.layout = r->layout;
        src.width = w;
        src.height = h;
        src.matrix = r->matrix;
        src.fullRange = r->fullRange;
        IMF2DBuffer* twoD = nullptr;
        BYTE* scan0 = nullptr;
        LONG pitch = 0;
        DWORD length = 0;
        if (SUCCEEDED(buffer->QueryInterface(IID_IMF2DBuffer, reinterpret_cast<void**>(&twoD))) &&
            SUCCEEDED(twoD->Lock2D(&scan0, &pitch))) {
          twoD->GetContiguousLength(&length);
          size_t absPitch = static_cast<size_t>(pitch < 0 ? -pitch : pitch);
          size_t perRow = RequiredBufferSize(r->layout, static_cast<ptrdiff_t>(absPitch), 2) / 2;
          int rows = perRow ? static_cast<int>(length / perRow) : r->frameHeight;
          if (rows < r->frameHeight) rows = r->frameHeight;
          src.pitch = pitch;
          src.planeRows = rows;
          src.buffer = pitch < 0 ? scan0 + static_cast<ptrdiff_t>(pitch) * (rows - 1) : scan0;
          src.bufferSize = length;
          ok = ConvertToBgrx(src, convertTo, convertPitch);
          twoD->Unlock2D();
        } else {
          BYTE* data = nullptr;
          DWORD maxLength = 0;
          if (SUCCEEDED(buffer->Lock(&data, &maxLength, &length))) {
            ptrdiff_t p = 0;
            int rows = 0;
            if (r->defaultStride) {
              p = r->defaultStride;
              size_t perRow = RequiredBufferSize(r->layout, p, 2) / 2;
              rows = std::max(r->frameHeight, perRow ? static_cast<int>(length / perRow) : 0);
            } else {
              GuessLayout(r->layout, r->frameWidth, r->frameHeight, length, &p, &rows);
            }
            src.buffer = data;
            src.bufferSize = length;
            src.pitch = p;
            src.planeRows = rows;
            ok = ConvertToBgrx(src, convertTo, convertPitch);
            buffer->Unlock();
          }
        }
        Release(twoD);
        buffer->Release();
        if (ok && !stored.direct)
          ok = OrientPicture(coded.data(), stored.width, stored.height, convertPitch, orientation_, pixels->data(),
                             width_, height_, static_cast<ptrdiff_t>(width_) * 4);
        frame->pixels = std::move(pixels);
      }
    }
    sample->Release();
    return ok;
  }
  *endOfStream = true;
  return false;
}

int MediaFoundationFrames::IndexOf(int64_t readerTime) const {
  double movieTime = static_cast<double>(readerTime - offset_) * scale_ / 1e7;
  return std::max(NearestIndex(times_, movieTime), 0);
}

// Seeks so that the picture of sample `index` is the first one read at or
// after its time. Readers differ in where a seek lands: on the key frame
// before the target (decode forward from there) or on the target itself, in
// a time that may leave out the reader's own offset (land too late). So
// the seek goes a little before the target, and further back whenever the
// first picture read is already past it.
bool MediaFoundationFrames::Position(Reader* r, int index, Frame* frame, int64_t* time, bool* end) {
  const int64_t target = TargetTime(index) + offset_;
  const int64_t tolerance = Tolerance(index);
  const int64_t margins[] = {std::max<int64_t>(offset_, 0) + 4 * tolerance, 10000000 + std::max<int64_t>(offset_, 0),
                             INT64_MAX / 2};
  for (int64_t margin : margins) {
    PROPVARIANT position;
    PropVariantInit(&position);
    position.vt = VT_I8;
    position.hVal.QuadPart = std::max<int64_t>(target - margin, 0);
    if (FAILED(r->reader->SetCurrentPosition(GUID_NULL, position))) return false;
    if (!ReadFrame(r, INT64_MIN, true, frame, time, end)) {
      if (position.hVal.QuadPart == 0) return false;
      continue;
    }
    if (*time > target + tolerance) {
      if (position.hVal.QuadPart == 0) return true;  // nothing earlier exists
      continue;
    }
    if (*time >= target - tolerance) return true;
    return ReadFrame(r, target - tolerance, true, frame, time, end);
  }
  return false;
}

// The first picture tells the reader's offset; it is kept, since playback
// nearly always starts by asking for it.
bool MediaFoundationFrames::Open() {
  int64_t firstTime = 0;
  bool end = false;
  if (!OpenReader(&reader_) || !ReadFrame(&reader_, INT64_MIN, true, &first_, &firstTime, &end)) return false;
  offset_ = firstTime - TargetTime(0);
  first_.index = 0;
  firstPending_ = true;
  return true;
}

bool MediaFoundationFrames::Seek(int index, Frame* frame, bool* endOfStream) {
  int64_t time = 0;
  *endOfStream = false;
  if (firstPending_ && index == 0) {
    firstPending_ = false;
    skipBelow_ = TargetTime(0) + offset_ - Tolerance(0);
    *frame = std::move(first_);
    return true;
  }
  firstPending_ = false;
  bool got = Position(&reader_, index, frame, &time, endOfStream);
  skipBelow_ = TargetTime(index) + offset_ - Tolerance(index);
  if (got) frame->index = std::max(IndexOf(time), index);
  return got;
}

bool MediaFoundationFrames::Next(Frame* frame, bool* endOfStream) {
  int64_t time = 0;
  if (firstPending_) {
    firstPending_ = false;
    *frame = std::move(first_);
    return true;
  }
  if (!ReadFrame(&reader_, skipBelow_, true, frame, &time, endOfStream)) return false;
  frame->index = IndexOf(time);
  return true;
}

}  // namespace

std::unique_ptr<FrameReader> OpenMediaFoundationFrames(const FrameRequest& shape) {
  auto frames = std::make_unique<MediaFoundationFrames>(shape);
  if (!frames->Open()) return nullptr;
  return frames;
}

}  // namespace vmedia
