#pragma once
// Audio endpoints and their volumes on the sound server (PulseAudio or PipeWire's pulse
// server): the capture devices, the microphone's name and volume, the speaker's volume.
//
// The microphone is the capture device the recorder opens: the server's default source, or
// the first other input when the default is a sink monitor. The speaker is the default sink.
// Volumes are percentages 0-100.
//
// Stateless: each call connects, does its work and disconnects before returning. Any thread
// may call them. No call blocks longer than about a second, also when the server is missing
// or does not answer; then the call gives its "no device" answer.

#include <string>
#include <vector>

namespace zav {

struct CaptureDeviceEntry {
  std::u16string friendlyName;  // the source's description, at most 127 UTF-16 units
  std::u16string displayName;   // the source's name (what the input is opened with), at most 255
};

// Clears devices and fills it with the server's capture sources (no sink monitors), the
// default source first. 0 on success (the list may be empty), negative when the server
// could not be asked.
int EnumerateCaptureDevices(std::vector<CaptureDeviceEntry>* devices);

// True and the microphone's friendly name, or false when there is no microphone.
bool GetMicrophoneName(std::u16string* name);

// The microphone's volume as an integer percent, rounded half up. Left unchanged when there
// is no microphone.
void GetMicrophoneVolume(int* volume);

// True when the server has a default sink. Logs "Get Default Audio Endpoint error" otherwise.
bool HasOutputDevice();

// Sets *volume to the speaker's volume x 100 + 0.5 (not rounded) when it is above zero;
// leaves it unchanged at zero volume or without a speaker. Always returns false.
bool GetSpeakerVolume(float* volume);

// Sets the microphone's mute state, then its volume (percent, clamped to 0-100; not a number
// leaves the volume). Always returns false.
bool SetMicrophoneVolume(bool mute, float percent);

// Sets the speaker's volume: percent below 0 sets 0 %, above 100 sets 100 %. The balance
// between channels is kept. Always returns false.
bool SetSpeakerVolume(float percent);

// The server name of the source the microphone path records (see above). False when none.
bool GetMicrophoneSourceName(std::string* name);

// The server name of the default sink's monitor source, where system sound is recorded.
// False when there is no default sink.
bool GetDefaultSinkMonitorName(std::string* name);

}  // namespace zav
