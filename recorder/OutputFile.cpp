#include "OutputFile.h"

#include <glog/logging.h>

#include <cstdio>

#include "Trace.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

namespace zav {
namespace {
// A send that meets a full encoder is retried after its packets are drained; a frame
// that is still refused after this many sends is dropped.
constexpr int kSendAttempts = 3;
}  // namespace

int OutputFile::Allocate(const std::string& path) {
  path_ = path;
  AVFormatContext* raw = nullptr;
  if (avformat_alloc_output_context2(&raw, nullptr, nullptr, path.c_str()) < 0 || !raw) {
    LOG(ERROR) << "Could not create output context";
    return -1;
  }
  container_.reset(raw);
  return 0;
}

int OutputFile::Open(const EncoderChoice& choice, int bitRate) {
  choice_ = choice;
  const AVCodec* encoder = avcodec_find_encoder(choice.codecId);
  if (!encoder) {
    Trace("audio codec not found \n");
    return -1;
  }
  codec_.reset(avcodec_alloc_context3(encoder));
  packet_.reset(av_packet_alloc());
  if (!codec_ || !packet_) return -1;

  AVCodecContext* c = codec_.get();
  c->bit_rate = bitRate;
  c->codec_id = choice.codecId;
  c->codec_type = AVMEDIA_TYPE_AUDIO;
  c->sample_fmt = choice.sampleFormat;
  c->sample_rate = kOutputSampleRate;
  av_channel_layout_default(&c->ch_layout, kOutputChannels);
  c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  c->time_base = AVRational{1, kOutputSampleRate};
  const int opened = avcodec_open2(c, encoder, nullptr);
  if (opened < 0) {
    Trace("err: (%s)", AvErrorText(opened).c_str());
    Trace("open audio encode err\n");
    return -1;
  }

  AVFormatContext* fc = container_.get();
  stream_ = avformat_new_stream(fc, nullptr);
  if (!stream_) return -1;
  stream_->time_base = c->time_base;
  if (avcodec_parameters_from_context(stream_->codecpar, c) < 0) return -1;
  stream_->codecpar->codec_tag = 0;
  av_dump_format(fc, 0, path_.c_str(), 1);

  if (!(fc->oformat->flags & AVFMT_NOFILE)) {
    const int r = avio_open(&fc->pb, path_.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) {
      LOG(ERROR) << "could not open output file " << path_ << ": " << AvErrorText(r);
      return -1;
    }
  }
  const int r = avformat_write_header(fc, nullptr);
  if (r < 0) {
    LOG(ERROR) << "could not write the header of " << path_ << ": " << AvErrorText(r);
    Abandon();
    return -1;
  }
  headerWritten_ = true;
  return 0;
}

int OutputFile::Encode(AVFrame* frame) {
  if (!codec_) return -1;
  if (frame) {
    frame->pts = nextFramePts_;
    nextFramePts_ += frame->nb_samples;
  }
  int sent = 0;
  int written = 0;
  for (int attempt = 1; attempt <= kSendAttempts; ++attempt) {
    sent = avcodec_send_frame(codec_.get(), frame);
    if (sent != AVERROR(EAGAIN)) break;
    Trace("audio encode err,times=%d, ret=%d, got_picture=%d\n", attempt, sent, 0);
    written = DrainPackets();
  }
  if (sent < 0 && sent != AVERROR_EOF) {
    Trace("audio encode err,times=%d, ret=%d, got_picture=%d\n", kSendAttempts, sent, 0);
    return written;  // the frame is dropped
  }
  const int drained = DrainPackets();
  return drained < 0 ? drained : written;
}

int OutputFile::DrainPackets() {
  int result = 0;
  for (;;) {
    const int r = avcodec_receive_packet(codec_.get(), packet_.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return result;
    if (r < 0) return result;
    const int w = WritePacket();
    if (w < 0) result = w;
  }
}

int OutputFile::WritePacket() {
  AVPacket* p = packet_.get();
  p->stream_index = 0;
  if (p->duration == 0) p->duration = choice_.frameSize;
  av_packet_rescale_ts(p, codec_->time_base, stream_->time_base);
  const int64_t endPts = p->pts + p->duration;
  const int r = av_interleaved_write_frame(container_.get(), p);  // takes the packet's data
  if (r < 0) {
    LOG(ERROR) << "write audio frame err,ret=" << r;
    writeFailed_ = true;
    return r;
  }
  const int64_t seconds =
      static_cast<int64_t>(static_cast<double>(endPts) * stream_->time_base.num / stream_->time_base.den);
  if (seconds > writtenSeconds_) writtenSeconds_ = seconds;
  return 0;
}

int OutputFile::Finish() {
  if (!container_) return -1;
  int result = 0;
  if (codec_ && headerWritten_) {
    Encode(nullptr);  // flush what the encoder still holds
    const int r = av_write_trailer(container_.get());
    if (r != 0) {
      LOG(ERROR) << "av_write_trailer error";
      result = -1;
    }
  }
  codec_.reset();
  packet_.reset();
  container_.reset();  // closes the file
  return result;
}

void OutputFile::Abandon() {
  const bool created = container_ && container_->pb;
  codec_.reset();
  packet_.reset();
  container_.reset();  // closes the file before it is removed
  if (created) std::remove(path_.c_str());
}

}  // namespace zav
