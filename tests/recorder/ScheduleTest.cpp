// Recordings from devices that deliver on any schedule: nothing at all, nothing at first, a
// gap, audio held back and handed over at once, a hole far longer than the time that passed,
// and seeded random mixtures of these, in every source mode. Whatever the devices do, the file
// is as long as the time recorded and each moment of it holds what was heard then, or silence.

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "ToneRecorderFixture.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;

constexpr int kRate = 44100;
// The scripted source sounds for 250 ms at the start of each half second of the wall clock.
constexpr double kPeriodSeconds = 0.5;
constexpr int kBurstMs = 250;
// How far a sound may land from where it was heard: a packet and a poll.
constexpr double kPositionToleranceSeconds = 0.1;
constexpr double kThreshold = 0.1;  // a tone at half scale, mixed at a quarter

enum class Mode { kSpeaker, kMicrophone, kBothSpeakerScripted, kBothMicrophoneScripted, kBothScripted };

struct Schedule {
  std::string name;
  std::vector<ScheduleStep> steps;  // ms since the inputs' epoch, which is about Start
  int lengthMs;
};

struct Outcome {
  DecodedAudio audio;
  double recorded = 0;     // seconds from Start to Stop
  double startOffset = 0;  // seconds from the inputs' epoch to Start
  FinishResult finish;
};

class ScheduledRecording : public RecorderTest {
 protected:
  // Records `lengthMs`, the scripted source(s) following their schedules.
  Outcome Record(Mode mode, int lengthMs) {
    for (ToneSettings* tone : {&backend.speaker, &backend.mic}) {
      tone->burstPeriodMs = static_cast<int>(kPeriodSeconds * 1000);
      tone->burstMs = kBurstMs;
    }
    switch (mode) {
      case Mode::kSpeaker:
        settings.source = VoiceSource::Speaker;
        break;
      case Mode::kMicrophone:
        settings.source = VoiceSource::Microphone;
        break;
      case Mode::kBothSpeakerScripted:
        backend.mic.burstPeriodMs = 0;  // the microphone hears a steady tone
        break;
      case Mode::kBothMicrophoneScripted:
        backend.speaker.playing = false;  // a sink that plays nothing
        break;
      case Mode::kBothScripted:
        backend.mic.burstOffsetMs = kBurstMs;  // the two sound in turns
        break;
    }
    Outcome run;
    AudioRecorder recorder(&owner, &backend);
    EXPECT_EQ(recorder.Init(Settings("wav")), 0);
    const auto start = Clock::now();
    recorder.Start();
    std::this_thread::sleep_until(start + std::chrono::milliseconds(lengthMs));
    run.recorded = SecondsSince(start);
    recorder.Stop();
    recorder.Finish(&run.finish);
    run.startOffset = std::chrono::duration<double>(start - backend.epoch).count();
    run.audio = DecodeFile(recorder.outputPath());
    return run;
  }

  // The file is as long as the time recorded, and nothing went wrong on the way.
  void ExpectTrueLength(const Outcome& run) {
    ASSERT_TRUE(run.audio.ok) << run.audio.error;
    EXPECT_NEAR(run.audio.seconds(), run.recorded, 0.1 + 0.002 * run.recorded);
    EXPECT_TRUE(run.finish.complete);
    EXPECT_TRUE(Faults().empty());
  }

  // Each moment of the file that holds the scripted tone is a moment when it sounded; every
  // burst heard while the source flowed is there, and none while it delivered nothing.
  void ExpectBurstsInPlace(const Outcome& run, const ToneSettings& tone, double frequency) {
    const double offset = tone.burstOffsetMs / 1000.0;
    const size_t window = kRate / 100;
    for (size_t begin = 0; begin + window <= run.audio.left.size(); begin += window) {
      if (ToneAmplitude(run.audio.left, kRate, frequency, begin, begin + window) < kThreshold) continue;
      // How far this moment is from the nearest time the tone sounded.
      const double heard = (begin + window / 2.0) / kRate + run.startOffset - offset;
      const double inPeriod = heard - std::floor(heard / kPeriodSeconds) * kPeriodSeconds;
      const double away = inPeriod < kBurstMs / 1000.0 ? 0 : std::min(inPeriod - kBurstMs / 1000.0, kPeriodSeconds - inPeriod);
      ASSERT_LE(away, kPositionToleranceSeconds)
          << frequency << " Hz at " << (begin + window / 2.0) / kRate << " s of the file, " << away
          << " s away from when it sounded";
    }
    const std::vector<double> onsets = Onsets(run.audio.left, kRate, frequency, kThreshold);
    for (double heard = offset; heard < run.startOffset + run.recorded; heard += kPeriodSeconds) {
      const double at = heard - run.startOffset;  // where it belongs in the file
      if (at < 0.3 || at > run.recorded - 0.4) continue;
      const Delivery before = tone.DeliveryAt(heard - 0.3);
      const Delivery during = tone.DeliveryAt(heard + kBurstMs / 1000.0);
      if (before != tone.DeliveryAt(heard) || during != before) continue;  // a change nearby
      const bool found = std::any_of(onsets.begin(), onsets.end(), [at](double o) {
        return std::fabs(o - at) <= kPositionToleranceSeconds;
      });
      if (before == Delivery::kFlow) {
        EXPECT_TRUE(found) << frequency << " Hz burst at " << at << " s is missing";
      } else if (before == Delivery::kNothing || before == Delivery::kHole) {
        EXPECT_FALSE(found) << frequency << " Hz at " << at << " s, while the source delivered nothing";
      }
    }
  }

  void Check(const Outcome& run, Mode mode) {
    ExpectTrueLength(run);
    if (HasFailure()) return;
    const bool speakerScripted = mode == Mode::kSpeaker || mode == Mode::kBothSpeakerScripted;
    if (speakerScripted) {
      ExpectBurstsInPlace(run, backend.speaker, 1000.0);
    } else {
      ExpectBurstsInPlace(run, backend.mic, 440.0);
    }
    if (mode == Mode::kBothSpeakerScripted) {
      // The microphone's steady tone goes on throughout, mixed at a quarter of full scale.
      const size_t n = run.audio.left.size();
      EXPECT_NEAR(ToneAmplitude(run.audio.left, kRate, 440.0, kRate / 2, n - kRate / 2), 0.25, 0.06);
    }
  }
};

const std::vector<Schedule>& Schedules() {
  static const std::vector<Schedule> schedules = {
      {"Flowing", {}, 3000},
      {"NothingAtAll", {{1000000, Delivery::kNothing}}, 3000},
      {"NothingForTheFirstSeconds", {{1600, Delivery::kNothing}}, 3200},
      {"GapMidway", {{1000, Delivery::kFlow}, {2200, Delivery::kNothing}}, 3500},
      {"SecondsHeldBackThenHandedOverAtOnce", {{2500, Delivery::kHold}}, 3500},
      {"ShortStallMidway", {{1000, Delivery::kFlow}, {1600, Delivery::kHold}}, 3000},
      {"HoleLongerThanTheUptime", {{1000, Delivery::kFlow}, {1500, Delivery::kHole}}, 3000},
  };
  return schedules;
}

class ScheduleTable : public ScheduledRecording,
                      public ::testing::WithParamInterface<std::tuple<size_t, Mode>> {};

TEST_P(ScheduleTable, LengthIsTheTimeRecordedAndSoundsStayWhereTheyWereHeard) {
  const auto [index, mode] = GetParam();
  const Schedule& schedule = Schedules()[index];
  ToneSettings& scripted =
      mode == Mode::kSpeaker || mode == Mode::kBothSpeakerScripted ? backend.speaker : backend.mic;
  scripted.schedule = schedule.steps;
  Check(Record(mode, schedule.lengthMs), mode);
}

std::string ModeName(Mode mode) {
  switch (mode) {
    case Mode::kSpeaker:
      return "Speaker";
    case Mode::kMicrophone:
      return "Microphone";
    case Mode::kBothSpeakerScripted:
      return "BothSpeakerScripted";
    case Mode::kBothMicrophoneScripted:
      return "BothMicrophoneScripted";
    case Mode::kBothScripted:
      return "BothScripted";
  }
  return "";
}

INSTANTIATE_TEST_SUITE_P(
    Schedules, ScheduleTable,
    ::testing::Combine(::testing::Range<size_t>(0, 7),
                       ::testing::Values(Mode::kSpeaker, Mode::kMicrophone, Mode::kBothSpeakerScripted,
                                         Mode::kBothMicrophoneScripted)),
    [](const auto& info) {
      return Schedules()[std::get<0>(info.param)].name + ModeName(std::get<1>(info.param));
    });

// A random schedule of `lengthMs`: steps of 150 ms to 1.5 s of every kind.
std::vector<ScheduleStep> RandomSchedule(std::mt19937& random, int lengthMs, bool holes) {
  std::uniform_int_distribution<int> duration(150, 1500);
  std::uniform_int_distribution<int> kind(0, holes ? 3 : 2);
  std::vector<ScheduleStep> steps;
  for (int at = 0; at < lengthMs;) {
    at += duration(random);
    steps.push_back({at, static_cast<Delivery>(kind(random))});
  }
  return steps;
}

class RandomSchedules : public ScheduledRecording, public ::testing::WithParamInterface<unsigned> {};

TEST_P(RandomSchedules, BothSourcesMisbehavingAtRandomKeepLengthAndPlaces) {
  std::mt19937 random(GetParam());
  constexpr int kLengthMs = 5000;
  backend.speaker.schedule = RandomSchedule(random, kLengthMs, true);
  backend.mic.schedule = RandomSchedule(random, kLengthMs, false);
  const Outcome run = Record(Mode::kBothScripted, kLengthMs);
  ExpectTrueLength(run);
  if (HasFailure()) return;
  ExpectBurstsInPlace(run, backend.speaker, 1000.0);
  ExpectBurstsInPlace(run, backend.mic, 440.0);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomSchedules, ::testing::Values(1u, 2u, 3u));

}  // namespace
}  // namespace zav::test
