#include "engine/platform/codec_library.h"

#include <windows.h>

#include <mutex>
#include <string>

namespace vmedia {
namespace {

#define VT_STR2(x) #x
#define VT_STR(x) VT_STR2(x)

// The names the headers were built with: a library of another major
// version has another ABI and is not taken.
const wchar_t* const kAvutil = L"avutil-" VT_STR(LIBAVUTIL_VERSION_MAJOR) L".dll";
const wchar_t* const kSwscale = L"swscale-" VT_STR(LIBSWSCALE_VERSION_MAJOR) L".dll";
const wchar_t* const kAvcodec = L"avcodec-" VT_STR(LIBAVCODEC_VERSION_MAJOR) L".dll";
const wchar_t* const kSwresample = L"swresample-" VT_STR(LIBSWRESAMPLE_VERSION_MAJOR) L".dll";
const wchar_t* const kAvformat = L"avformat-" VT_STR(LIBAVFORMAT_VERSION_MAJOR) L".dll";

std::wstring EngineFolder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&Codecs), &self))
    return std::wstring();
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::wstring();
  std::wstring folder(path, n);
  size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

// By full path; the altered search order makes each library's own imports
// (avutil) resolve in that folder too, not in the host program's.
HMODULE Load(const std::wstring& folder, const wchar_t* name) {
  return LoadLibraryExW((folder + name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <class F>
bool Bind(HMODULE module, const char* name, F* entry) {
  FARPROC p = module ? GetProcAddress(module, name) : nullptr;
  *entry = reinterpret_cast<F>(p);
  return p != nullptr;
}

CodecLibrary library;
const CodecLibrary* loaded = nullptr;
std::once_flag once;

void LoadAll() {
  std::wstring folder = EngineFolder();
  if (folder.empty()) return;
  HMODULE avutil = Load(folder, kAvutil);
  HMODULE swscale = avutil ? Load(folder, kSwscale) : nullptr;
  HMODULE avcodec = swscale ? Load(folder, kAvcodec) : nullptr;
  if (!avcodec) return;
  CodecLibrary& l = library;
  bool ok = Bind(avcodec, "avcodec_find_decoder", &l.avcodec_find_decoder) &&
            Bind(avcodec, "avcodec_alloc_context3", &l.avcodec_alloc_context3) &&
            Bind(avcodec, "avcodec_open2", &l.avcodec_open2) &&
            Bind(avcodec, "avcodec_free_context", &l.avcodec_free_context) &&
            Bind(avcodec, "avcodec_send_packet", &l.avcodec_send_packet) &&
            Bind(avcodec, "avcodec_receive_frame", &l.avcodec_receive_frame) &&
            Bind(avcodec, "avcodec_flush_buffers", &l.avcodec_flush_buffers) &&
            Bind(avcodec, "av_packet_alloc", &l.av_packet_alloc) &&
            Bind(avcodec, "av_packet_free", &l.av_packet_free) &&
            Bind(avcodec, "av_packet_unref", &l.av_packet_unref) &&
            Bind(avcodec, "avcodec_parameters_to_context", &l.avcodec_parameters_to_context) &&
            Bind(avcodec, "av_packet_new_side_data", &l.av_packet_new_side_data) &&
            Bind(avutil, "av_frame_alloc", &l.av_frame_alloc) && Bind(avutil, "av_frame_free", &l.av_frame_free) &&
            Bind(avutil, "av_frame_unref", &l.av_frame_unref) && Bind(avutil, "av_mallocz", &l.av_mallocz) &&
            Bind(avutil, "av_log_set_level", &l.av_log_set_level) &&
            Bind(swscale, "sws_getCachedContext", &l.sws_getCachedContext) &&
            Bind(swscale, "sws_scale", &l.sws_scale) && Bind(swscale, "sws_freeContext", &l.sws_freeContext) &&
            Bind(swscale, "sws_setColorspaceDetails", &l.sws_setColorspaceDetails) &&
            Bind(swscale, "sws_getCoefficients", &l.sws_getCoefficients) &&
            Bind(avutil, "av_channel_layout_default", &l.av_channel_layout_default);
  if (!ok) return;
  // Pictures decode without swresample; sound needs every one of its entries.
  HMODULE swresample = Load(folder, kSwresample);
  CodecLibrary s = l;
  if (Bind(swresample, "swr_alloc_set_opts2", &s.swr_alloc_set_opts2) && Bind(swresample, "swr_init", &s.swr_init) &&
      Bind(swresample, "swr_convert", &s.swr_convert) &&
      Bind(swresample, "swr_get_out_samples", &s.swr_get_out_samples) && Bind(swresample, "swr_free", &s.swr_free))
    l = s;
  // The host has no console for FFmpeg's messages.
  l.av_log_set_level(AV_LOG_QUIET);
  loaded = &library;
}

FormatLibrary formatLibrary;
const FormatLibrary* formatsLoaded = nullptr;
std::once_flag formatsOnce;

void LoadFormats() {
  if (!Codecs()) return;
  std::wstring folder = EngineFolder();
  HMODULE avformat = Load(folder, kAvformat);
  HMODULE avutil = Load(folder, kAvutil);
  FormatLibrary& f = formatLibrary;
  bool ok = Bind(avformat, "avformat_alloc_context", &f.avformat_alloc_context) &&
            Bind(avformat, "avformat_open_input", &f.avformat_open_input) &&
            Bind(avformat, "avformat_find_stream_info", &f.avformat_find_stream_info) &&
            Bind(avformat, "avformat_close_input", &f.avformat_close_input) &&
            Bind(avformat, "av_read_frame", &f.av_read_frame) && Bind(avformat, "av_seek_frame", &f.av_seek_frame) &&
            Bind(avformat, "avio_alloc_context", &f.avio_alloc_context) &&
            Bind(avformat, "avio_context_free", &f.avio_context_free) && Bind(avutil, "av_malloc", &f.av_malloc) &&
            Bind(avutil, "av_free", &f.av_free);
  if (ok) formatsLoaded = &formatLibrary;
}

}  // namespace

const CodecLibrary* Codecs() {
  std::call_once(once, LoadAll);
  return loaded;
}

const FormatLibrary* Formats() {
  std::call_once(formatsOnce, LoadFormats);
  return formatsLoaded;
}

}  // namespace vmedia
