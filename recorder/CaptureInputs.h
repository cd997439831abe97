#pragma once
// The device side of capture, behind two small interfaces so that the recorder's
// microphone and speaker threads run unchanged over real devices and over generated
// signals in tests.
//
// Both inputs are polled: a capture thread wakes every few tens of milliseconds and takes
// what has arrived meanwhile. No call waits for audio. Calls that talk to the sound server
// end by a deadline and soon after the cancel flag given to Open is set.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace zav {

// Sample layout of a capture device: interleaved samples of an FFmpeg sample format.
struct CaptureFormat {
  int sampleRate = 44100;
  int channels = 2;
  int sampleFormat = 1;  // AVSampleFormat; AV_SAMPLE_FMT_S16 = 1, S32 = 2, FLT = 3

  bool operator==(const CaptureFormat&) const = default;
};

// The microphone. Opened on the thread that calls Init, then used only by the microphone
// thread.
class MicrophoneInput {
 public:
  enum ReadResult {
    kOk = 0,     // *data and *frames hold audio
    kNone = 1,   // nothing has arrived since the last read
    kGone = -1,  // the device or the sound server went away; Reopen looks for it again
  };

  virtual ~MicrophoneInput() = default;
  // Opens the device asking for `wanted` (the server converts; another input may deliver its
  // own format, see Format). cancel outlives the input. 0 on success, -1 on failure (the
  // input logs why).
  virtual int Open(const CaptureFormat& wanted, const std::atomic<bool>& cancel) = 0;
  // What Read delivers. May change after a successful Reopen.
  virtual CaptureFormat Format() const = 0;
  // The device's human-readable name and the name it was opened by, for the console trace.
  virtual std::string FriendlyName() const { return {}; }
  virtual std::string DeviceName() const { return {}; }
  // How long the device may hold audio back before handing it over (a source with a fixed
  // latency delivers in pieces that long); 0 when it delivers every few tens of ms.
  virtual int DeliveryMs() const { return 0; }
  // Takes the next piece of audio that has arrived, without waiting. The data stays valid
  // until Release.
  virtual ReadResult Read(const void** data, int* frames) = 0;
  virtual void Release() = 0;
  // Drops everything that has arrived.
  virtual void Flush() = 0;
  // Looks for the microphone again after it went away; 0 when it delivers again.
  virtual int Reopen() = 0;
};

// System sound: polled for packets of interleaved signed 32-bit samples at the device's rate
// and channel count. Opened as the recording starts, then used only by the speaker thread.
class SpeakerInput {
 public:
  virtual ~SpeakerInput() = default;
  // 0 on success, -1 on failure (the input logs why). cancel outlives the input.
  virtual int Open(const std::atomic<bool>& cancel) = 0;
  // The format of the packets. May change in NextPacketFrames (the input followed another
  // device, or the server came back); packets until then had the format before.
  virtual CaptureFormat Format() const = 0;
  // Frames of the next pending packet, 0 when none is pending, negative on error.
  // Does not block.
  virtual int NextPacketFrames() = 0;
  // The pending packet: data (nullptr for a gap, to be read as silence) and its frames.
  // 0 or negative on error.
  virtual int GetBuffer(const void** data, int* frames) = 0;
  // Releases the packet taken by GetBuffer. 0 or negative on error.
  virtual int ReleaseBuffer() = 0;
  // False while the device is away (unplugged, or the sound server gone) and being looked for.
  virtual bool Present() const { return true; }
};

// Creates the inputs of one recording. device: the server's name of the source (microphone)
// or sink (system sound) to record; empty for the default. applications: the keys of the
// applications whose streams alone are the system sound.
// What system sound is captured for: a recording, which must not lose a moment when the
// default sink switches, or a level meter, which may lose a few tens of milliseconds there
// and so needs to read only the sink it shows.
enum class SystemSoundUse { kRecording, kMeter };

class CaptureBackend {
 public:
  virtual ~CaptureBackend() = default;
  virtual std::unique_ptr<MicrophoneInput> CreateMicrophone(const std::string& device) = 0;
  virtual std::unique_ptr<SpeakerInput> CreateSpeaker(const std::string& device) = 0;
  virtual std::unique_ptr<SpeakerInput> CreateSpeakerForMeter(const std::string& device) { return CreateSpeaker(device); }
  virtual std::unique_ptr<SpeakerInput> CreateApplications(const std::vector<std::string>& /*applications*/) {
    return nullptr;
  }
  // The system sound: the applications' streams when any is named, else the sink's monitor.
  std::unique_ptr<SpeakerInput> CreateSystemSound(const std::string& speaker, const std::vector<std::string>& applications,
                                                  SystemSoundUse use = SystemSoundUse::kRecording) {
    if (!applications.empty()) return CreateApplications(applications);
    return use == SystemSoundUse::kMeter ? CreateSpeakerForMeter(speaker) : CreateSpeaker(speaker);
  }
};

// Which devices exist, asked before a recording starts.
class DeviceProbe {
 public:
  virtual ~DeviceProbe() = default;
  virtual bool HasOutputDevice() = 0;
  virtual bool GetMicrophoneName(std::u16string* name) = 0;
  // Whether a microphone (a source that is no monitor) or an output (a sink) of that name is
  // there now. True when the server cannot be asked: the recording then finds out itself.
  virtual bool HasMicrophone(const std::string& name) { return !name.empty(); }
  virtual bool HasOutput(const std::string& name) { return !name.empty(); }
};

// The sound server's devices (PulseAudio or PipeWire's pulse server).
CaptureBackend& DefaultCaptureBackend();
DeviceProbe& SoundServerDevices();

}  // namespace zav
