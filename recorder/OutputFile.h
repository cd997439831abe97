#pragma once
// The output container and its encoder: opened by Init, fed by the encoder thread,
// finished (encoder flushed, trailer written, file closed) by Stop.

#include <cstdint>
#include <string>

#include "EncoderChoice.h"
#include "FfmpegHandles.h"

namespace zav {

class OutputFile {
 public:
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
  // True once a write has failed (a full disk, a vanished file).
  bool writeFailed() const { return writeFailed_; }

 private:
  int DrainPackets();
  int WritePacket();

  std::string path_;
  EncoderChoice choice_;
  OutputFormatContextPtr container_;
  CodecContextPtr codec_;
  PacketPtr packet_;
  AVStream* stream_ = nullptr;
  int64_t nextFramePts_ = 0;  // samples handed to the encoder so far
  int64_t writtenSeconds_ = 0;
  bool writeFailed_ = false;
  bool headerWritten_ = false;
};

}  // namespace zav
