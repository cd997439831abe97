#pragma once
// The output container and its encoder: opened by Init, fed by the encoder thread,
// finished (encoder flushed, trailer written, file closed) by Stop.
//
// A recording survives a crash of the process: what is written reaches the kernel every
// half second of audio; a WAV's size fields are kept up to date at the same time; an M4A
// is written as fragmented MP4 and rewritten as a plain one when finished.

#include <cstdint>
#include <string>

#include "EncoderChoice.h"
#include "FfmpegHandles.h"
#include "WavFile.h"

namespace zav {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Allocates the container guessed from the path's extension. 0 or -1.
  int Allocate(const std::string& path);
  // Opens the encoder, adds the stream, opens the file and writes the header. 0 or -1.
  int Open(const EncoderChoice& choice, int bitRate);

  // Sends one frame (its pts is set here, in samples) and writes every packet that comes
  // out. Returns 0, or a negative code when a packet could not be written.
  int Encode(AVFrame* frame);
  // Flushes the encoder, writes the trailer and closes the file. 0, or -1 when the
  // trailer could not be written.
  int Finish();
  // Closes and removes a file whose recording never started.
  void Abandon();

  const AVCodecContext* codec() const { return codec_.get(); }
  const EncoderChoice& choice() const { return choice_; }
  // Whole seconds covered by the packets written so far.
  int64_t writtenSeconds() const { return writtenSeconds_; }
  // Samples covered by the packets written so far.
  int64_t writtenSamples() const { return writtenEnd_; }
  // True once a write has failed (a full disk, a vanished file).
  bool writeFailed() const { return writeFailed_; }

 private:
  int DrainPackets();
  int WritePacket();
  void KeepDurable();
  bool fragmented() const;

  std::string path_;
  EncoderChoice choice_;
  OutputFormatContextPtr container_;
  CodecContextPtr codec_;
  PacketPtr packet_;
  AVStream* stream_ = nullptr;
  int64_t nextFramePts_ = 0;  // samples handed to the encoder so far
  int64_t writtenSeconds_ = 0;
  int64_t writtenEnd_ = 0;      // end of the last packet written, in samples
  int64_t nextDurableAt_ = 0;   // when KeepDurable runs next, in samples
  int wavFd_ = -1;              // a second handle on a WAV, for its size fields
  WavLayout wavLayout_;
  bool writeFailed_ = false;
  bool headerWritten_ = false;
};

}  // namespace zav
