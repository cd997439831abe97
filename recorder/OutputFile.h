#pragma once
// The output container and its encoder: opened by Init, fed by the encoder thread,
// finished (encoder flushed, trailer written, file closed) by Finish.
//
// The file is always a new one: a name that is taken (a finished recording, a link planted
// there) gets a number ("新录音-20261207224321-2.mp3") rather than being opened.
//
// A recording survives a crash of the process: what is written reaches the kernel every
// half second of audio; a WAV's size fields are kept up to date at the same time; an M4A
// is written as fragmented MP4 and rewritten as a plain one when finished.

#include <cstdint>
#include <string>

#include "EncoderChoice.h"
#include "FfmpegHandles.h"
#include "FileSink.h"
#include "WavFile.h"

namespace zav {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Allocates the container guessed from the name's extension. 0 or -1.
  int Allocate(const std::string& folder, const std::string& fileName);
  // Open's result when the file was created but nothing could be written to it (a full
  // disk); the file is removed again.
  static constexpr int kNotWritable = -2;
  // Opens the encoder, adds the stream, creates the file and writes the header. 0, -1, or
  // kNotWritable.
  int Open(const EncoderChoice& choice, int bitRate);

  // Sends one frame (its pts is set here, in samples) and writes every packet that comes
  // out. Returns 0, or a negative code when the encoder failed or a packet could not be
  // written.
  int Encode(AVFrame* frame);
  // Flushes the encoder, writes the trailer and closes the file (an M4A is rewritten). 0, or
  // -1 when any of it failed or the file is no longer at its path. A file that no audio
  // reached is removed (removed()).
  int Finish();
  // Closes and removes a file whose recording never started.
  void Abandon();

  const AVCodecContext* codec() const { return codec_.get(); }
  const EncoderChoice& choice() const { return choice_; }
  // The file's path: folder + "/" + the name it was created under (once Open created it).
  const std::string& path() const { return path_; }
  // Whole seconds covered by the packets written so far.
  int64_t writtenSeconds() const { return writtenSeconds_; }
  // Samples covered by the packets written so far.
  int64_t writtenSamples() const { return writtenEnd_; }
  // True once a write has failed (a full disk, a vanished file).
  bool writeFailed() const { return writeFailed_; }
  // True once the encoder refused a frame or failed to deliver a packet.
  bool encodeFailed() const { return encodeFailed_; }
  // True once the file was found deleted or moved (its path no longer names it).
  bool fileGone() const { return fileGone_; }
  // True when Finish removed the file because no audio reached it.
  bool removed() const { return removed_; }
  // True when an M4A stayed fragmented: the disk had no room for its rewrite.
  bool keptFragmented() const { return keptFragmented_; }

 private:
  int DrainPackets();
  int WritePacket();
  void KeepDurable();
  void CheckStillAtPath();
  bool fragmented() const;

  std::string folder_;
  std::string fileName_;
  std::string path_;
  EncoderChoice choice_;
  // Declared before the container, which writes through them, so that they go after it.
  UniqueFd fd_;
  AvioPtr io_;
  OutputFormatContextPtr container_;
  CodecContextPtr codec_;
  PacketPtr packet_;
  AVStream* stream_ = nullptr;
  int64_t nextFramePts_ = 0;  // samples handed to the encoder so far
  int64_t writtenSeconds_ = 0;
  int64_t writtenEnd_ = 0;      // end of the last packet written, in samples
  int64_t nextDurableAt_ = 0;   // when KeepDurable runs next, in samples
  int64_t durableEnd_ = 0;      // samples known to have reached the file
  bool wavSizes_ = false;       // a WAV whose size fields are kept true while it grows
  WavLayout wavLayout_;
  bool writeFailed_ = false;
  bool encodeFailed_ = false;
  bool fileGone_ = false;
  bool headerWritten_ = false;
  bool removed_ = false;
  bool keptFragmented_ = false;
};

}  // namespace zav
