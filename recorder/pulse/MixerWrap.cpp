#include "pulse/MixerWrap.h"

#include <glog/logging.h>
#include <pulse/pulseaudio.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "TextUtil.h"
#include "pulse/EndpointLogic.h"
#include "pulse/PulseHandles.h"
#include "pulse/ServerQueries.h"

namespace zav {
namespace {

using pulse::Connection;
using pulse::Deadline;
using pulse::ServerDefaults;
using pulse::SinkRecord;
using pulse::SourceRecord;

// Whole budget of one call: connecting and every request. A healthy local server answers in
// milliseconds; this bounds the wait on a server that is stuck.
constexpr std::chrono::milliseconds kCallBudgetMs{900};
constexpr char kClientName[] = "ZavAudioRecorder";

// One connection plus the deadline that every step of the call shares.
class Session {
 public:
  Session() : deadline_(pulse::DeadlineIn(kCallBudgetMs)), requests_(connection_, deadline_) {
    connected_ = pulse::Connect(kClientName, deadline_, &connection_);
  }

  bool connected() const { return connected_; }
  const pulse::Requests& requests() const { return requests_; }
  bool Run(pa_operation* operation) { return requests_.Run(operation); }
  pa_context* context() const { return connection_.context.get(); }

 private:
  Deadline deadline_;
  Connection connection_;
  pulse::Requests requests_;
  bool connected_ = false;
};

bool QueryMicrophone(Session& session, SourceRecord* microphone) {
  return pulse::QueryMicrophone(session.requests(), microphone);
}

bool QueryDefaultSink(Session& session, SinkRecord* sink) { return pulse::QueryDefaultSink(session.requests(), sink); }

// Starts a request that answers with a success flag.
using SuccessRequest = std::function<pa_operation*(pa_context*, pa_context_success_cb_t, void*)>;

// Runs the request to its answer; logs a refusal or a missing answer.
bool RunSetter(Session& session, const SuccessRequest& start, const char* what) {
  int success = 0;
  auto onDone = [](pa_context*, int ok, void* userdata) { *static_cast<int*>(userdata) = ok; };
  const bool done = session.Run(start(session.context(), onDone, &success));
  if (!done) {
    LOG(ERROR) << what << " failed: the sound server did not answer";
    return false;
  }
  if (!success) {
    LOG(ERROR) << what << " failed: " << pa_strerror(pa_context_errno(session.context()));
    return false;
  }
  return true;
}

pa_cvolume ScaledTo(pa_cvolume volume, double scalar) {
  pa_cvolume_scale(&volume, pulse::VolumeStepsFromScalar(scalar));
  return volume;
}

}  // namespace

int EnumerateCaptureDevices(std::vector<CaptureDeviceEntry>* devices) {
  devices->clear();
  Session session;
  if (!session.connected()) return -1;
  ServerDefaults defaults;
  std::vector<SourceRecord> records;
  if (!pulse::QueryDefaults(session.requests(), &defaults) || !pulse::QuerySources(session.requests(), &records)) {
    LOG(ERROR) << "listing the sound server's sources failed";
    return -1;
  }
  *devices = pulse::OrderCaptureDevices(pulse::FactsOf(records), defaults.sourceName);
  return 0;
}

bool GetMicrophoneName(std::u16string* name) {
  Session session;
  SourceRecord microphone;
  if (!session.connected() || !QueryMicrophone(session, &microphone)) return false;
  *name = pulse::CutUtf16(ToWide(microphone.facts.description), pulse::kFriendlyNameMaxUnits);
  return true;
}

void GetMicrophoneVolume(int* volume) {
  Session session;
  SourceRecord microphone;
  if (!session.connected() || !QueryMicrophone(session, &microphone)) return;
  if (!pa_cvolume_valid(&microphone.volume)) return;
  *volume = pulse::RoundedPercent(pulse::ScalarFromVolumeSteps(pa_cvolume_max(&microphone.volume)));
}

bool HasOutputDevice() {
  Session session;
  SinkRecord sink;
  if (session.connected() && QueryDefaultSink(session, &sink) && sink.found) return true;
  LOG(ERROR) << "Get Default Audio Endpoint error";
  return false;
}

bool GetSpeakerVolume(float* volume) {
  Session session;
  SinkRecord sink;
  if (!session.connected() || !QueryDefaultSink(session, &sink) || !sink.found) return false;
  if (!pa_cvolume_valid(&sink.volume)) return false;
  const double scalar = pulse::ScalarFromVolumeSteps(pa_cvolume_max(&sink.volume));
  if (std::fabs(scalar) > 0.00001) *volume = static_cast<float>(scalar * 100.0 + 0.5);
  return false;
}

bool SetMicrophoneVolume(bool mute, float percent) {
  Session session;
  SourceRecord microphone;
  if (!session.connected() || !QueryMicrophone(session, &microphone)) return false;
  const char* source = microphone.facts.name.c_str();

  RunSetter(
      session,
      [&](pa_context* context, pa_context_success_cb_t onDone, void* userdata) {
        return pa_context_set_source_mute_by_name(context, source, mute ? 1 : 0, onDone, userdata);
      },
      "setting the microphone's mute state");

  if (std::isnan(percent) || !pa_cvolume_valid(&microphone.volume)) return false;
  const pa_cvolume volume = ScaledTo(microphone.volume, pulse::ClampPercent(percent) / 100.0);
  RunSetter(
      session,
      [&](pa_context* context, pa_context_success_cb_t onDone, void* userdata) {
        return pa_context_set_source_volume_by_name(context, source, &volume, onDone, userdata);
      },
      "setting the microphone's volume");
  return false;
}

bool SetSpeakerVolume(float percent) {
  Session session;
  SinkRecord sink;
  if (!session.connected() || !QueryDefaultSink(session, &sink) || !sink.found) return false;
  if (!pa_cvolume_valid(&sink.volume)) return false;
  const pa_cvolume volume = ScaledTo(sink.volume, pulse::ClampPercent(percent) / 100.0);
  RunSetter(
      session,
      [&](pa_context* context, pa_context_success_cb_t onDone, void* userdata) {
        return pa_context_set_sink_volume_by_name(context, sink.name.c_str(), &volume, onDone, userdata);
      },
      "setting the speaker's volume");
  return false;
}

bool GetMicrophoneSourceName(std::string* name) {
  Session session;
  SourceRecord microphone;
  if (!session.connected() || !QueryMicrophone(session, &microphone)) return false;
  *name = microphone.facts.name;
  return true;
}

bool GetDefaultSinkMonitorName(std::string* name) {
  Session session;
  SinkRecord sink;
  if (!session.connected() || !QueryDefaultSink(session, &sink) || !sink.found) return false;
  if (sink.monitorName.empty()) return false;
  *name = sink.monitorName;
  return true;
}

}  // namespace zav
