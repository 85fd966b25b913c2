#include "engine/decoder.h"

#include <mfapi.h>
#include <mfidl.h>
#include <mferror.h>
#include <mfreadwrite.h>

#include <algorithm>
#include <chrono>

#include "engine/media_foundation.h"
#include "engine/orient.h"
#include "engine/timeline.h"
#include "engine/yuv.h"

namespace vmedia {
namespace {

constexpr DWORD kVideoStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
constexpr int kMaxAheadFrames = 30;
constexpr size_t kQueueBytes = 48u << 20;

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

}  // namespace

struct VideoDecoder::Reader {
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

VideoDecoder::VideoDecoder(std::wstring path, std::vector<int32_t> times, int32_t scale, int width,
                           int height, Orientation orientation, bool fullRangeHint)
    : path_(std::move(path)), times_(std::move(times)), scale_(scale > 0 ? scale : 600),
      width_(width), height_(height), orientation_(orientation), fullRangeHint_(fullRangeHint) {
  size_t frameBytes = static_cast<size_t>(std::max(width_, 1)) * std::max(height_, 1) * 4;
  maxQueue_ = std::min<size_t>(8, std::max<size_t>(2, kQueueBytes / frameBytes));
}

VideoDecoder::~VideoDecoder() {
  {
    std::lock_guard<std::mutex> lock(m_);
    quit_ = true;
  }
  cv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool VideoDecoder::Stop(int timeoutMs) {
  if (!thread_.joinable()) return true;
  std::unique_lock<std::mutex> lock(m_);
  quit_ = true;
  cv_.notify_all();
  if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return exited_; })) {
    lock.unlock();
    thread_.detach();
    return false;
  }
  lock.unlock();
  thread_.join();
  return true;
}

void VideoDecoder::EnsureThread() {
  if (thread_.joinable() || failed_) return;
  try {
    thread_ = std::thread(&VideoDecoder::Run, this);
  } catch (...) {
    failed_ = true;
  }
}

int64_t VideoDecoder::TargetTime(int index) const {
  if (times_.empty()) return 0;
  index = std::clamp(index, 0, static_cast<int>(times_.size()) - 1);
  return static_cast<int64_t>(times_[index]) * 10000000 / scale_;
}

// Half the gap to the neighbouring sample: a decoded time this close to the
// target belongs to it, whatever rounding the reader did.
int64_t VideoDecoder::Tolerance(int index) const {
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
uint32_t VideoDecoder::ChooseStream(IMFSourceReader* reader) const {
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

bool VideoDecoder::OpenReader(Reader* r) {
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
      if (FAILED(MFCreateMediaType(&type))) return false;
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
VideoDecoder::StoredPicture VideoDecoder::Stored(const Reader* r) const {
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
bool VideoDecoder::ReadFrame(Reader* r, int64_t skipBelow, bool convert, Frame* frame, int64_t* readTime,
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

int VideoDecoder::IndexOf(int64_t readerTime) const {
  double movieTime = static_cast<double>(readerTime - offset_) * scale_ / 1e7;
  return std::max(NearestIndex(times_, movieTime), 0);
}

// Seeks so that the picture of sample `index` is the first one read at or
// after its time. Readers differ in where a seek lands: on the key frame
// before the target (decode forward from there) or on the target itself, in
// a time that may leave out the reader's own offset (land too late). So
// the seek goes a little before the target, and further back whenever the
// first picture read is already past it.
bool VideoDecoder::Position(Reader* r, int index, Frame* frame, int64_t* time, bool* end) {
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

void VideoDecoder::DoStill(std::unique_ptr<Reader>& still, int index) {
  bool ok = false;
  Frame frame;
  if (!still) {
    still = std::make_unique<Reader>();
    if (!OpenReader(still.get())) still.reset();
  }
  if (still) {
    int64_t time = 0;
    bool end = false;
    if (Position(still.get(), index, &frame, &time, &end)) {
      frame.index = IndexOf(time);
      ok = true;
    }
  }
  std::lock_guard<std::mutex> lock(m_);
  stillOk_ = ok;
  stillFrame_ = std::move(frame);
  stillDoneSerial_ = stillSerial_;
  stillPending_ = false;
  cv_.notify_all();
}

// Nothing may leave the thread: a failure of any kind ends decoding and
// the movie goes on without pictures.
void VideoDecoder::Run() {
  try {
    Decode();
  } catch (...) {
    std::lock_guard<std::mutex> lock(m_);
    failed_ = true;
    stillPending_ = false;
    cv_.notify_all();
  }
  std::lock_guard<std::mutex> lock(m_);
  exited_ = true;
  cv_.notify_all();
}

void VideoDecoder::Decode() {
  if (!EnterMediaThread()) {
    std::lock_guard<std::mutex> lock(m_);
    failed_ = true;
    cv_.notify_all();
    return;
  }
  {
    Reader main;
    std::unique_ptr<Reader> still;
    Frame first;
    int64_t firstTime = 0;
    bool end = false;
    bool ok = OpenReader(&main) && ReadFrame(&main, INT64_MIN, true, &first, &firstTime, &end);
    std::unique_lock<std::mutex> lock(m_);
    if (!ok) {
      failed_ = true;
      cv_.notify_all();
    } else {
      // The reader's clock need not start where the movie's does (edit
      // lists, composition offsets); the first picture is sample 0.
      offset_ = firstTime - TargetTime(0);
      ready_ = true;
      first.index = 0;
      if (seekPending_ && seekIndex_ == 0) {
        seekPending_ = false;
        queue_.push_back(std::move(first));
        lastQueued_ = 0;
      }
      cv_.notify_all();
    }
    int64_t skipBelow = INT64_MIN;
    while (ok) {
      cv_.wait(lock, [&] {
        return quit_ || stillPending_ || seekPending_ ||
               (streaming_ && !endOfStream_ && queue_.size() < maxQueue_);
      });
      if (quit_) break;
      if (stillPending_) {
        int index = stillIndex_;
        lock.unlock();
        DoStill(still, index);
        lock.lock();
        continue;
      }
      if (seekPending_) {
        seekPending_ = false;
        int index = seekIndex_;
        uint32_t generation = generation_;
        lock.unlock();
        Frame frame;
        int64_t time = 0;
        bool got = Position(&main, index, &frame, &time, &end);
        skipBelow = TargetTime(index) + offset_ - Tolerance(index);
        lock.lock();
        if (generation != generation_ || seekPending_) continue;
        if (!got) {
          endOfStream_ = true;
          cv_.notify_all();
          continue;
        }
        frame.index = std::max(IndexOf(time), index);
        lastQueued_ = frame.index;
        queue_.push_back(std::move(frame));
        cv_.notify_all();
        continue;
      }
      uint32_t generation = generation_;
      lock.unlock();
      Frame frame;
      int64_t time = 0;
      bool got = ReadFrame(&main, skipBelow, true, &frame, &time, &end);
      lock.lock();
      if (generation != generation_ || seekPending_) continue;
      if (!got) {
        endOfStream_ = true;
        cv_.notify_all();
        continue;
      }
      frame.index = IndexOf(time);
      if (frame.index <= lastQueued_) continue;
      lastQueued_ = frame.index;
      queue_.push_back(std::move(frame));
      cv_.notify_all();
    }
  }
  LeaveMediaThread();
}

void VideoDecoder::SeekTo(int index) {
  {
    std::lock_guard<std::mutex> lock(m_);
    seekPending_ = true;
    streaming_ = true;
    seekIndex_ = index;
    ++generation_;
    queue_.clear();
    lastQueued_ = index - 1;
    endOfStream_ = false;
    EnsureThread();
  }
  cv_.notify_all();
}

VideoDecoder::Take VideoDecoder::TakeFrame(int index, Frame* frame) {
  std::lock_guard<std::mutex> lock(m_);
  EnsureThread();
  while (!queue_.empty() && queue_.front().index < index) queue_.pop_front();
  if (!queue_.empty()) {
    if (queue_.front().index != index) return Take::Behind;
    *frame = std::move(queue_.front());
    queue_.pop_front();
    cv_.notify_all();
    return Take::Got;
  }
  if (failed_) return Take::Waiting;
  if (!streaming_) return Take::Behind;
  cv_.notify_all();
  if (seekPending_) return index >= seekIndex_ && index <= seekIndex_ + kMaxAheadFrames ? Take::Waiting : Take::Behind;
  if (index <= lastQueued_) return Take::Behind;
  if (endOfStream_) return Take::Waiting;
  return index > lastQueued_ + kMaxAheadFrames ? Take::Behind : Take::Waiting;
}

bool VideoDecoder::WaitFrame(int index, int timeoutMs, Frame* frame) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool sought = false;
  while (std::chrono::steady_clock::now() < deadline) {
    Take t = TakeFrame(index, frame);
    if (t == Take::Got) return true;
    std::unique_lock<std::mutex> lock(m_);
    if (t == Take::Behind) {
      // After our own seek, a later picture is the nearest the file has.
      if (sought && !queue_.empty() && queue_.front().index > index) {
        *frame = std::move(queue_.front());
        queue_.pop_front();
        cv_.notify_all();
        return true;
      }
      lock.unlock();
      SeekTo(index);
      sought = true;
      lock.lock();
    }
    if (failed_) return false;
    if (endOfStream_ && queue_.empty() && !seekPending_) return false;
    cv_.wait_until(lock, deadline, [&] { return failed_ || !queue_.empty() || endOfStream_; });
  }
  return false;
}

bool VideoDecoder::Still(int index, int timeoutMs, Frame* frame) {
  std::unique_lock<std::mutex> lock(m_);
  EnsureThread();
  if (failed_) return false;
  uint32_t serial = ++stillSerial_;
  stillPending_ = true;
  stillIndex_ = index;
  cv_.notify_all();
  bool done = cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return failed_ || stillDoneSerial_ == serial; });
  if (!done || failed_ || !stillOk_) return false;
  *frame = stillFrame_;
  return true;
}

}  // namespace vmedia
