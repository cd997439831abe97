#include "PulseMicrophoneInput.h"

#include <glog/logging.h>

#include <chrono>
#include <string>
#include <vector>

#include "TextUtil.h"
#include "Trace.h"
#include "pulse/MixerWrap.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/dict.h>
}

namespace zav {
namespace {

// Reads that return this fast come from the device's backlog, not from the live signal.
constexpr auto kBacklogReadTime = std::chrono::milliseconds(3);
constexpr int kMaxBacklogPackets = 200;

struct DictionaryDeleter { void operator()(AVDictionary* d) const { av_dict_free(&d); } };

}  // namespace

int PulseMicrophoneInput::Open() {
  Close();
  avdevice_register_all();
  const AVInputFormat* pulse = av_find_input_format("pulse");
  if (!pulse) {
    LOG(ERROR) << "dshow not soport";
    return -1;
  }
  std::vector<CaptureDeviceEntry> devices;
  if (EnumerateCaptureDevices(&devices) != 0 || devices.empty()) {
    LOG(ERROR) << "no capture device";
    return -1;
  }
  Trace("device name: %s\n", ToUtf8(devices.front().friendlyName).c_str());
  const std::string name = ToUtf8(devices.front().displayName);
  Trace("audiodevice: %s\n", name.c_str());

  AVDictionary* rawOptions = nullptr;
  av_dict_set(&rawOptions, "sample_rate", "44100", 0);
  av_dict_set(&rawOptions, "channels", "2", 0);
  av_dict_set(&rawOptions, "name", "ZAV audio recorder", 0);
  std::unique_ptr<AVDictionary, DictionaryDeleter> options(rawOptions);
  AVFormatContext* raw = nullptr;
  rawOptions = options.release();
  const int opened = avformat_open_input(&raw, name.c_str(), pulse, &rawOptions);
  options.reset(rawOptions);
  if (opened < 0) {
    LOG(ERROR) << "psDevName:" << name;
    LOG(ERROR) << "avformat_open_input err,ret=" << opened << ",errstr=" << AvErrorText(opened);
    return -1;
  }
  input_.reset(raw);
  if (avformat_find_stream_info(raw, nullptr) < 0) {
    LOG(ERROR) << "not found audio stream";
    return -1;
  }
  for (unsigned i = 0; i < raw->nb_streams; ++i) {
    if (raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
      streamIndex_ = static_cast<int>(i);
      break;
    }
  }
  if (streamIndex_ < 0) {
    LOG(ERROR) << "Didn't find a audio stream";
    return -1;
  }
  const AVCodecParameters* par = raw->streams[streamIndex_]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  decoder_.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
  if (!decoder_ || avcodec_parameters_to_context(decoder_.get(), par) < 0 ||
      avcodec_open2(decoder_.get(), codec, nullptr) < 0) {
    LOG(ERROR) << "can not find or open audio decoder!";
    return -1;
  }
  packet_.reset(av_packet_alloc());
  if (!packet_) return -1;
  format_.sampleRate = decoder_->sample_rate;
  format_.channels = decoder_->ch_layout.nb_channels;
  format_.sampleFormat = decoder_->sample_fmt;
  return 0;
}

void PulseMicrophoneInput::Close() {
  packet_.reset();
  decoder_.reset();
  input_.reset();
  streamIndex_ = -1;
}

MicrophoneInput::ReadResult PulseMicrophoneInput::ReadFrame(AVFrame* frame) {
  if (!input_) return kReadFailed;
  av_packet_unref(packet_.get());
  if (av_read_frame(input_.get(), packet_.get()) < 0) return kReadFailed;
  if (packet_->stream_index != streamIndex_) return kDecodeFailed;
  av_frame_unref(frame);
  if (avcodec_send_packet(decoder_.get(), packet_.get()) < 0) return kDecodeFailed;
  return avcodec_receive_frame(decoder_.get(), frame) < 0 ? kDecodeFailed : kOk;
}

void PulseMicrophoneInput::Flush() {
  if (!input_) return;
  for (int i = 0; i < kMaxBacklogPackets; ++i) {
    const auto start = std::chrono::steady_clock::now();
    av_packet_unref(packet_.get());
    if (av_read_frame(input_.get(), packet_.get()) < 0) return;
    if (std::chrono::steady_clock::now() - start > kBacklogReadTime) return;
  }
}

int PulseMicrophoneInput::Reopen() {
  const CaptureFormat before = format_;
  if (Open() != 0) {
    Close();
    return -1;
  }
  // The microphone thread's converters were set up for the first device's format.
  if (format_.sampleRate != before.sampleRate || format_.channels != before.channels ||
      format_.sampleFormat != before.sampleFormat) {
    LOG(ERROR) << "the new microphone delivers another format; it is not used";
    Close();
    format_ = before;
    return -1;
  }
  return 0;
}

}  // namespace zav
