#include "OutputFile.h"

#include <glog/logging.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Mp3Repair.h"
#include "Mp4Remux.h"
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
// How much audio may sit in our buffers before it is handed to the kernel; also the
// length of an M4A fragment.
constexpr int64_t kDurableEverySamples = kOutputSampleRate / 2;
constexpr const char* kFragmentMicroseconds = "500000";

struct DictionaryDeleter { void operator()(AVDictionary* d) const { av_dict_free(&d); } };
}  // namespace

bool OutputFile::fragmented() const {
  return choice_.codecId == AV_CODEC_ID_AAC && container_ && container_->oformat &&
         (std::string_view(container_->oformat->name) == "ipod" || std::string_view(container_->oformat->name) == "mp4" ||
          std::string_view(container_->oformat->name) == "mov");
}

int OutputFile::Allocate(const std::string& folder, const std::string& fileName) {
  folder_ = folder;
  fileName_ = fileName;
  path_ = folder + "/" + fileName;
  AVFormatContext* raw = nullptr;
  if (avformat_alloc_output_context2(&raw, nullptr, nullptr, path_.c_str()) < 0 || !raw) {
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

  if (!(fc->oformat->flags & AVFMT_NOFILE)) {
    std::string created;
    fd_ = CreateNewFile(folder_, fileName_, &created);
    if (!fd_.valid()) {
      LOG(ERROR) << "could not create output file " << path_ << ": " << std::strerror(errno);
      return -1;
    }
    fileName_ = created;
    path_ = folder_ + "/" + created;
    io_ = MakeFdIo(fd_.get(), true);
    if (!io_) {
      Abandon();
      return -1;
    }
    fc->pb = io_.get();
    fc->flags |= AVFMT_FLAG_CUSTOM_IO;
  }
  av_dump_format(fc, 0, path_.c_str(), 1);
  AVDictionary* rawOptions = nullptr;
  if (fragmented()) {
    av_dict_set(&rawOptions, "movflags", "empty_moov+default_base_moof", 0);
    av_dict_set(&rawOptions, "frag_duration", kFragmentMicroseconds, 0);
  }
  // Room for the 64-bit sizes of RF64 (a JUNK chunk until then): a wav passes 4 GiB after 6 h
  // 46 min of CD-quality stereo.
  if (choice_.codecId == AV_CODEC_ID_PCM_S16LE) av_dict_set(&rawOptions, "rf64", "auto", 0);
  const int r = avformat_write_header(fc, &rawOptions);
  std::unique_ptr<AVDictionary, DictionaryDeleter> unused(rawOptions);
  if (r < 0) {
    LOG(ERROR) << "could not write the header of " << path_ << ": " << AvErrorText(r);
    const bool notWritable = fc->pb && fc->pb->error < 0;  // the disk refused it, not the muxer
    Abandon();
    return notWritable ? kNotWritable : -1;
  }
  headerWritten_ = true;
  if (fc->pb) {
    avio_flush(fc->pb);
    if (fc->pb->error < 0) {
      // A full disk: not even the header got there. No empty file is left behind.
      LOG(ERROR) << "nothing could be written to " << path_ << ": " << AvErrorText(fc->pb->error);
      Abandon();
      return kNotWritable;
    }
  }
  if (choice_.codecId == AV_CODEC_ID_PCM_S16LE && fd_.valid()) {
    uint8_t header[4096];
    const ssize_t got = pread(fd_.get(), header, sizeof header, 0);
    wavSizes_ = got > 0 && ParseWavLayout(header, static_cast<size_t>(got), &wavLayout_);
  }
  nextDurableAt_ = kDurableEverySamples;
  return 0;
}

void OutputFile::KeepDurable() {
  AVIOContext* pb = container_->pb;
  if (!pb) return;
  avio_flush(pb);
  if (pb->error < 0) {
    if (!writeFailed_) LOG(ERROR) << "write audio frame err,ret=" << pb->error;
    writeFailed_ = true;
    return;
  }
  if (wavSizes_) WriteWavSizes(fd_.get(), &wavLayout_, static_cast<uint64_t>(avio_tell(pb)));
  durableEnd_ = writtenEnd_;
  CheckStillAtPath();
}

// A file deleted or moved while it is written takes the recording with it (a deleted
// output folder, say): noticed at once, so that it is reported rather than written on.
void OutputFile::CheckStillAtPath() {
  if (fileGone_ || !fd_.valid() || PathStillNames(path_, fd_.get())) return;
  LOG(ERROR) << path_ << " was deleted or moved while recording";
  fileGone_ = true;
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
  if (sent == AVERROR(EAGAIN)) {
    Trace("audio encode err,times=%d, ret=%d, got_picture=%d\n", kSendAttempts, sent, 0);
    return written;  // still full after every retry: the frame is dropped
  }
  if (sent < 0 && sent != AVERROR_EOF) {
    if (!encodeFailed_) LOG(ERROR) << "audio encode err, ret=" << sent << " (" << AvErrorText(sent) << ")";
    encodeFailed_ = true;
    return sent;
  }
  const int drained = DrainPackets();
  return drained < 0 ? drained : written;
}

int OutputFile::DrainPackets() {
  int result = 0;
  for (;;) {
    const int r = avcodec_receive_packet(codec_.get(), packet_.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return result;
    if (r < 0) {
      if (!encodeFailed_) LOG(ERROR) << "audio encode err, ret=" << r << " (" << AvErrorText(r) << ")";
      encodeFailed_ = true;
      return r;
    }
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
  writtenEnd_ = av_rescale_q(endPts, stream_->time_base, AVRational{1, kOutputSampleRate});
  if (writtenEnd_ >= nextDurableAt_) {
    nextDurableAt_ = writtenEnd_ + kDurableEverySamples;
    KeepDurable();
  }
  return writeFailed_ ? AVERROR(EIO) : 0;
}

int OutputFile::Finish() {
  if (!container_) return -1;
  int result = 0;
  const bool remux = fragmented();
  if (codec_ && headerWritten_) {
    Encode(nullptr);  // flush what the encoder still holds
    // Some muxers return a positive file position from their trailer; only negative fails.
    const int r = av_write_trailer(container_.get());
    if (r < 0) {
      LOG(ERROR) << "av_write_trailer error " << AvErrorText(r);
      result = -1;
    }
    if (container_->pb) {
      avio_flush(container_->pb);
      if (container_->pb->error < 0 && !writeFailed_) {
        LOG(ERROR) << "write audio frame err,ret=" << container_->pb->error;
        writeFailed_ = true;
      }
      if (!writeFailed_) durableEnd_ = writtenEnd_;
    }
    // A trailer that could not be written (a full disk) still leaves true WAV sizes.
    if (wavSizes_ && (result != 0 || writeFailed_)) RepairWavSizes(fd_.get());
  }
  codec_.reset();
  packet_.reset();
  container_.reset();
  io_.reset();
  CheckStillAtPath();
  if (durableEnd_ == 0 && !fileGone_ && fd_.valid()) {
    // No audio reached the file (stopped before any was recorded, or a full disk): our own
    // empty recording is not left behind.
    if (PathStillNames(path_, fd_.get()) && ::unlink(path_.c_str()) == 0) removed_ = true;
    fd_.Reset();
    return -1;
  }
  // Writing that stopped at a failed write (a full disk) ends in a cut frame or fragment: the
  // file is cut back to what stands whole, and an MP3's header made to count it.
  if (writeFailed_ && !fileGone_) {
    if (choice_.codecId == AV_CODEC_ID_MP3) {
      if (RepairCutMp3(fd_.get()) < 0) LOG(ERROR) << "could not repair the cut mp3 " << path_;
    } else if (remux && CutToWholeFragments(fd_.get()) < 0) {
      LOG(ERROR) << "could not cut " << path_ << " back to its whole fragments";
    }
  }
  if (fileGone_ || encodeFailed_) result = -1;
  // A fragmented file that is whole is rewritten as a plain one, also after a full disk (where
  // the room for the copy is missing, it stays fragmented, as it plays).
  if (remux && headerWritten_ && !fileGone_ && !encodeFailed_ && (result == 0 || writeFailed_)) {
    const int rewritten = RemuxToPlainMp4(fd_.get(), path_);
    if (rewritten < 0) result = -1;
    keptFragmented_ = rewritten == kKeptFragmented;
  }
  if (!fd_.Reset()) {
    LOG(ERROR) << "could not close " << path_ << ": " << std::strerror(errno);
    result = -1;
  }
  return result;
}

void OutputFile::Abandon() {
  codec_.reset();
  packet_.reset();
  container_.reset();
  io_.reset();
  // Removed by name only while the name is still our file's.
  if (fd_.valid() && PathStillNames(path_, fd_.get())) ::unlink(path_.c_str());
  fd_.Reset();
}

}  // namespace zav
