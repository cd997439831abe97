// The level meters: what a meter shows for the levels it is given over time, how reports are
// handed to the window, and in the main window (without a sound server) when the idle level
// monitor runs.
#include <gtest/gtest.h>

#include <QComboBox>

#include <cmath>
#include <thread>

#include "MainWndHarness.h"
#include "UiTestSupport.h"
#include "levels/LatestLevels.h"
#include "levels/LevelMeterModel.h"
#include "levels/LevelMeterUI.h"
#include "levels/LevelPanel.h"

namespace zav::test {
namespace {

using namespace std::chrono_literals;
using Clock = LevelMeterModel::Clock;

SourceLevel Level(float rmsDb, float peakDb, bool clipped = false) { return {true, rmsDb, peakDb, clipped}; }

TEST(LevelMeterModelTest, ThePeakIsHeldForAboutOneAndAHalfSecondsThenFalls) {
  LevelMeterModel meter(120);  // 2 steps a dB
  const Clock::time_point t0{};
  EXPECT_TRUE(meter.Update(Level(-30, -6), t0));
  EXPECT_EQ(meter.look(), (MeterLook{true, 60, 108, false}));

  meter.Update(Level(-40, -30), t0 + 100ms);
  EXPECT_EQ(meter.look().barSteps, 40);   // the bar follows at once
  EXPECT_EQ(meter.look().peakStep, 108);  // the mark stays
  ASSERT_TRUE(meter.NextChange().has_value());
  EXPECT_EQ(*meter.NextChange(), t0 + 1500ms);
  meter.Update(Level(-40, -30), t0 + 1400ms);
  EXPECT_EQ(meter.look().peakStep, 108);
  meter.Update(Level(-40, -30), t0 + 1500ms);
  EXPECT_EQ(meter.look().peakStep, 60);
  EXPECT_FALSE(meter.NextChange().has_value());  // nothing left to fall: no wake-ups

  // When reports stop, the time passing alone lets a held mark fall.
  meter.Update(Level(-40, -3), t0 + 2000ms);
  meter.Update(Level(-40, -30), t0 + 2050ms);
  EXPECT_FALSE(meter.Advance(t0 + 3000ms));
  EXPECT_TRUE(meter.Advance(t0 + 3500ms));
  EXPECT_EQ(meter.look().peakStep, 60);
}

TEST(LevelMeterModelTest, AClipStaysMarkedForAWhileAndAnInactiveSourceIsEmpty) {
  LevelMeterModel meter(120);
  const Clock::time_point t0{};
  meter.Update(Level(-3, 0, true), t0);
  EXPECT_TRUE(meter.look().clip);
  EXPECT_EQ(meter.look().barSteps, 114);
  meter.Update(Level(-20, -10), t0 + 2000ms);
  EXPECT_TRUE(meter.look().clip);
  meter.Update(Level(-20, -10), t0 + 2600ms);
  EXPECT_FALSE(meter.look().clip);

  meter.Update(Level(-3, 0, true), t0 + 3000ms);
  EXPECT_TRUE(meter.Update(SourceLevel{}, t0 + 3050ms));
  EXPECT_EQ(meter.look(), MeterLook{});
  EXPECT_FALSE(meter.NextChange().has_value());
  // Back again, nothing of the old peak or clip is left.
  meter.Update(Level(-50, -45), t0 + 3100ms);
  EXPECT_EQ(meter.look(), (MeterLook{true, 20, 30, false}));
  EXPECT_TRUE(meter.Clear());
  EXPECT_EQ(meter.look(), MeterLook{});
}

TEST(LevelMeterModelTest, OnlyAChangeThatShowsAsksForDrawing) {
  LevelMeterModel meter(120);
  const Clock::time_point t0{};
  EXPECT_TRUE(meter.Update(Level(-30, -20), t0));
  EXPECT_FALSE(meter.Update(Level(-30, -20), t0 + 50ms));
  EXPECT_FALSE(meter.Update(Level(-30.1f, -20), t0 + 100ms));  // less than a step
  EXPECT_TRUE(meter.Update(Level(-29, -20), t0 + 150ms));
  EXPECT_FALSE(meter.SetSteps(120));
  EXPECT_TRUE(meter.SetSteps(240));
  // The floor and below: an empty bar and no mark; above full scale: a full bar.
  meter.Update(Level(kLevelFloorDb, kLevelFloorDb), t0 + 5s);
  EXPECT_EQ(meter.look(), (MeterLook{true, 0, -1, false}));
  meter.Update(Level(std::nanf(""), -200), t0 + 10s);
  EXPECT_EQ(meter.look().barSteps, 0);
  meter.Update(Level(3, 3), t0 + 15s);
  EXPECT_EQ(meter.look().barSteps, 240);
  EXPECT_FALSE(meter.Clear() && meter.Clear());
}

// A bare window whose thread takes the hand-overs.
class BareWindow final : public WindowImplBase {
 protected:
  QString GetSkinFile() override { return {}; }
};

LevelReport MicrophoneAt(float rmsDb) {
  LevelReport report;
  report.microphone = Level(rmsDb, rmsDb + 10);
  return report;
}

TEST(LatestLevelsTest, AFloodOfReportsQueuesOneHandOverAndOnlyTheLatestOfTheCurrentRunIsShown) {
  BareWindow window;
  int handOvers = 0;
  LatestLevels latest(&window, [&] { ++handOvers; });
  latest.Expect(LevelOrigin::Monitor(1));
  // From another thread, as the capture does, many reports while the window is busy.
  std::thread flood([&] {
    for (int i = 0; i < 1000; ++i) latest.Offer(LevelOrigin::Monitor(1), MicrophoneAt(i == 999 ? -20 : -50));
  });
  flood.join();
  latest.Offer(LevelOrigin::Monitor(2), MicrophoneAt(-1));    // a run that is not current
  latest.Offer(LevelOrigin::Recording(1), MicrophoneAt(-1));  // nor is this recording
  QCoreApplication::sendPostedEvents(&window);
  EXPECT_EQ(handOvers, 1);
  const std::optional<LevelReport> taken = latest.Take();
  ASSERT_TRUE(taken.has_value());
  EXPECT_EQ(taken->microphone.rmsDb, -20);
  EXPECT_FALSE(latest.Take().has_value());

  // Once taken, the next report is posted again; a change of origin drops what waits.
  latest.Offer(LevelOrigin::Monitor(1), MicrophoneAt(-30));
  QCoreApplication::sendPostedEvents(&window);
  EXPECT_EQ(handOvers, 2);
  latest.Expect(LevelOrigin::Recording(7));
  EXPECT_FALSE(latest.Take().has_value());
  latest.Offer(LevelOrigin::Recording(7), MicrophoneAt(-30));
  QCoreApplication::sendPostedEvents(&window);
  EXPECT_EQ(handOvers, 3);
}

class MainWndLevelsTest : public MainWndTestBase {
 protected:
  LevelPanel& levels() { return window->levels(); }
  bool WaitForMonitor(std::optional<VoiceSource> source) {
    return WaitUntil([&] { return levels().MonitorRunning() == source; });
  }
};

TEST_F(MainWndLevelsTest, TheIdleMonitorRunsOnlyWhileTheWindowIsShown) {
  WriteSetting("voice-source", "1");
  OpenWindow();
  ASSERT_TRUE(WaitForMonitor(VoiceSource::Microphone));  // the stored source

  Control<QComboBox>("record-audio-origin")->setCurrentIndex(2);
  EXPECT_TRUE(WaitForMonitor(VoiceSource::Speaker));

  window->showMinimized();
  EXPECT_TRUE(WaitForMonitor(std::nullopt));
  EXPECT_EQ(levels().latest().expected().kind, LevelOrigin::Kind::kNone);  // reports are not taken
  window->showNormal();
  EXPECT_TRUE(WaitForMonitor(VoiceSource::Speaker));

  window->hide();
  EXPECT_TRUE(WaitForMonitor(std::nullopt));
  window->show();
  EXPECT_TRUE(WaitForMonitor(VoiceSource::Speaker));

  // Without a sound server the monitor reports its sources unmeasured: the meters stay empty.
  const int handled = levels().handOversHandled();
  EXPECT_TRUE(WaitUntil([&] { return levels().handOversHandled() > handled; }));
  EXPECT_FALSE(Control<CLevelMeterUI>("mic-level-meter")->look().active);
  EXPECT_FALSE(Control<CLevelMeterUI>("sys-level-meter")->look().active);
}

}  // namespace
}  // namespace zav::test
