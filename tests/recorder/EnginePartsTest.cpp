// The engine's pure parts: the voice-processing accumulator, encoder choice.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "EncoderChoice.h"
#include "VoiceProcessor.h"

namespace zav {
namespace {

std::vector<int16_t> Sine(int count, double frequency, double amplitude, double& phase) {
  std::vector<int16_t> out(static_cast<size_t>(count));
  for (auto& s : out) {
    s = static_cast<int16_t>(std::lround(amplitude * 32767 * std::sin(phase)));
    phase += 2 * std::numbers::pi * frequency / kProcessingRate;
  }
  return out;
}

TEST(VoiceProcessor, CarriesTheIncompleteBlockToTheNextPacket) {
  VoiceProcessor processor;
  ASSERT_EQ(processor.Create(true, true, 20), 0);
  double phase = 0;
  std::vector<int16_t> out;
  auto a = Sine(500, 440, 0.3, phase);
  ASSERT_TRUE(processor.Process(a.data(), 500, &out));
  EXPECT_EQ(out.size(), 320u);
  EXPECT_EQ(processor.pendingSamples(), 180);
  auto b = Sine(140, 440, 0.3, phase);
  ASSERT_TRUE(processor.Process(b.data(), 140, &out));
  EXPECT_EQ(out.size(), 640u);
  EXPECT_EQ(processor.pendingSamples(), 0) << "an exact multiple leaves nothing behind";
  // A packet larger than the accumulator is processed in pieces, nothing dropped.
  auto big = Sine(70000, 440, 0.3, phase);
  out.clear();
  ASSERT_TRUE(processor.Process(big.data(), 70000, &out));
  EXPECT_EQ(out.size() + static_cast<size_t>(processor.pendingSamples()), 70000u);
  EXPECT_EQ(out.size() % kBlockSamples, 0u);
}

TEST(VoiceProcessor, EachModeGivesOneOutputSamplePerInputSample) {
  for (auto [noise, gain] : {std::pair{true, false}, {false, true}, {true, true}}) {
    VoiceProcessor processor;
    ASSERT_EQ(processor.Create(noise, gain, 20), 0);
    double phase = 0;
    std::vector<int16_t> out;
    auto in = Sine(3200, 300, 0.1, phase);
    ASSERT_TRUE(processor.Process(in.data(), 3200, &out));
    EXPECT_EQ(out.size(), 3200u);
  }
}

TEST(VoiceProcessor, BoostOutsideTheGainControlsRangeIsClampedNotFatal) {
  EXPECT_EQ(VoiceProcessor::CompressionGainFor(-5), 0);
  EXPECT_EQ(VoiceProcessor::CompressionGainFor(20), 20);
  EXPECT_EQ(VoiceProcessor::CompressionGainFor(100), 90);
  VoiceProcessor processor;
  EXPECT_EQ(processor.Create(false, true, 100), 0);
}

TEST(EncoderChoice, FormatTable) {
  EXPECT_EQ(ChooseEncoder("mp3").codecId, AV_CODEC_ID_MP3);
  EXPECT_EQ(ChooseEncoder("mp3").frameSize, 1152);
  EXPECT_EQ(ChooseEncoder("m4a").sampleFormat, AV_SAMPLE_FMT_FLTP);
  EXPECT_EQ(ChooseEncoder("wav").codecId, AV_CODEC_ID_PCM_S16LE);
  EXPECT_EQ(ChooseEncoder("wav").sampleFormat, AV_SAMPLE_FMT_S16);
  EXPECT_EQ(ChooseEncoder("ogg").codecId, AV_CODEC_ID_AAC);
}

}  // namespace
}  // namespace zav
