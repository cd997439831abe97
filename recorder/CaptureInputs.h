#pragma once
// The device side of capture, behind two small interfaces so that the recorder's
// microphone and speaker threads run unchanged over real devices and over generated
// signals in tests.

#include <memory>
#include <string>

struct AVFrame;

namespace zav {

// Sample layout of a capture device: interleaved or planar samples of an FFmpeg sample format.
struct CaptureFormat {
  int sampleRate = 44100;
  int channels = 2;
  int sampleFormat = 1;  // AVSampleFormat; AV_SAMPLE_FMT_S16 = 1
};

// The microphone: read packet by packet. Opened on the thread that calls Init,
// then used only by the microphone thread.
class MicrophoneInput {
 public:
  enum ReadResult { kOk = 0, kReadFailed = -1, kDecodeFailed = -2 };

  virtual ~MicrophoneInput() = default;
  // 0 on success, -1 on failure (the input logs why).
  virtual int Open() = 0;
  virtual CaptureFormat Format() const = 0;
  // Blocks until one packet has arrived (at most a few tens of milliseconds of audio),
  // then decodes it into frame. A failed read returns quickly.
  virtual ReadResult ReadFrame(AVFrame* frame) = 0;
  // Drops everything the device has buffered.
  virtual void Flush() = 0;
  // Tries to open the device again after it went away; 0 when it is back.
  virtual int Reopen() { return -1; }
};

// System sound: polled for packets of interleaved signed 32-bit samples at the
// device's rate and channel count. Opened and used only by the speaker thread.
class SpeakerInput {
 public:
  virtual ~SpeakerInput() = default;
  // 0 on success, -1 on failure (the input logs why).
  virtual int Open() = 0;
  virtual CaptureFormat Format() const = 0;
  // Frames of the next pending packet, 0 when none is pending, negative on error.
  // Does not block.
  virtual int NextPacketFrames() = 0;
  // The pending packet: data (nullptr for a gap, to be read as silence) and its frames.
  // 0 or negative on error.
  virtual int GetBuffer(const void** data, int* frames) = 0;
  // Releases the packet taken by GetBuffer. 0 or negative on error.
  virtual int ReleaseBuffer() = 0;
};

// Creates the inputs of one recording.
class CaptureBackend {
 public:
  virtual ~CaptureBackend() = default;
  virtual std::unique_ptr<MicrophoneInput> CreateMicrophone() = 0;
  virtual std::unique_ptr<SpeakerInput> CreateSpeaker() = 0;
};

// The sound server's devices (PulseAudio or PipeWire's pulse server).
CaptureBackend& DefaultCaptureBackend();

}  // namespace zav
