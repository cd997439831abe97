// The recorder's writer (OutputFile) fed as fast as it encodes, so that what takes hours in a
// recording takes seconds here: a disk that fills at any point leaves a file that is valid and
// says how long it is; a wav past 4 GiB becomes RF64 and reads back whole; a ten-hour m4a is
// finished; memory stays flat while they are written.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>

#include "AudioFile.h"
#include "ChildProcess.h"
#include "FfmpegHandles.h"
#include "MediaDuration.h"
#include "Mp3Repair.h"
#include "OutputFile.h"
#include "RecorderHarness.h"
#include "SmallDisk.h"
#include "WavFile.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

namespace zav::test {
namespace {

using namespace std::chrono_literals;
constexpr int kToneHz = 1000;

// Frames in the encoder's format: a tone, or silence.
class Frames {
 public:
  explicit Frames(const EncoderChoice& choice) : choice_(choice) {
    for (FramePtr* frame : {&tone_, &silence_}) {
      frame->reset(av_frame_alloc());
      AVFrame* f = frame->get();
      f->format = choice.sampleFormat;
      f->sample_rate = kOutputSampleRate;
      f->nb_samples = choice.frameSize;
      av_channel_layout_default(&f->ch_layout, kOutputChannels);
      EXPECT_EQ(av_frame_get_buffer(f, 0), 0);
    }
    for (int plane = 0; plane < (av_sample_fmt_is_planar(choice.sampleFormat) ? kOutputChannels : 1); ++plane) {
      std::memset(silence_->data[plane], 0, static_cast<size_t>(silence_->linesize[0]));
    }
  }
  // The next frame; a tone when asked (its phase runs on with the samples made).
  AVFrame* Next(bool tone) {
    AVFrame* f = tone ? tone_.get() : silence_.get();
    av_frame_make_writable(f);
    if (tone) {
      for (int i = 0; i < choice_.frameSize; ++i) {
        const double v = 0.5 * std::sin(2 * M_PI * kToneHz * static_cast<double>(made_ + i) / kOutputSampleRate);
        if (choice_.sampleFormat == AV_SAMPLE_FMT_FLTP) {
          for (int c = 0; c < kOutputChannels; ++c) reinterpret_cast<float*>(f->data[c])[i] = static_cast<float>(v);
        } else {
          for (int c = 0; c < kOutputChannels; ++c)
            reinterpret_cast<int16_t*>(f->data[0])[i * kOutputChannels + c] = static_cast<int16_t>(v * 32767);
        }
      }
    }
    made_ += choice_.frameSize;
    return f;
  }

 private:
  EncoderChoice choice_;
  FramePtr tone_;
  FramePtr silence_;
  int64_t made_ = 0;
};

// Resident memory of this process, in MiB.
double ResidentMiB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// ffmpeg decodes the file with no error at all, and ffprobe states its length.
void ExpectValid(const std::string& path, double seconds) {
  const CommandResult decode = RunCommand({"ffmpeg", "-v", "error", "-xerror", "-i", path, "-f", "null", "-"}, {}, 60s);
  EXPECT_TRUE(decode.finished && decode.exitCode == 0 && decode.output.empty()) << decode.output;
  const CommandResult stated = RunCommand(
      {"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "default=nw=1:nk=1", path}, {}, 60s);
  EXPECT_NEAR(std::atof(stated.output.c_str()), seconds, 0.06) << stated.output;
}

// An MP3's frames as they stand in the file, and what its Xing/Info header says of them.
struct Mp3Count {
  int stated = -1;       // the header's frame count
  int whole = 0;         // audio frames after the header's frame
  size_t trailing = 0;   // bytes after the last whole frame
};
Mp3Count CountMp3(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto byte = [&](size_t i) { return static_cast<uint8_t>(d[i]); };
  size_t at = 0;
  if (d.compare(0, 3, "ID3") == 0) at = 10 + ((byte(6) << 21) | (byte(7) << 14) | (byte(8) << 7) | byte(9));
  static constexpr int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  Mp3Count count;
  const size_t first = at;
  while (at + 4 <= d.size() && byte(at) == 0xFF && (byte(at + 1) & 0xE0) == 0xE0) {
    const size_t size = 144000 * kKbps[byte(at + 2) >> 4] / 44100 + ((byte(at + 2) >> 1) & 1);
    if (at + size > d.size()) break;
    if (at == first) {
      size_t tag = d.find("Xing", at);
      if (tag == std::string::npos || tag >= at + size) tag = d.find("Info", at);
      if (tag != std::string::npos && tag < at + size)
        count.stated = (byte(tag + 8) << 24) | (byte(tag + 9) << 16) | (byte(tag + 10) << 8) | byte(tag + 11);
    } else {
      ++count.whole;
    }
    at += size;
  }
  count.trailing = d.size() - at;
  return count;
}

TEST(OutputFileTest, ADiskThatFillsAnywhereLeavesAValidFileThatSaysHowLongItIs) {
  TempFolder folder;
  {
    // The repair writes the header the muxer writes: a whole file's is left byte for byte.
    OutputFile whole;
    const EncoderChoice choice = ChooseEncoder("mp3");
    ASSERT_EQ(whole.Allocate(folder.path(), "whole.mp3"), 0);
    ASSERT_EQ(whole.Open(choice, 128000), 0);
    Frames frames(choice);
    for (int i = 0; i < 80; ++i) whole.Encode(frames.Next(true));
    ASSERT_EQ(whole.Finish(), 0);
    UniqueFd fd(::open(whole.path().c_str(), O_RDWR | O_CLOEXEC));
    EXPECT_EQ(RepairCutMp3(fd.get()), 0);
  }
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  for (const std::string format : {"mp3", "m4a", "wav"}) {
    SmallDisk disk(folder.path() + "/" + format, "size=1m");
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (not root?)";
    // One to three seconds of a tone, in pages, so the disk fills inside a frame or a fragment.
    const int pages = format == "wav" ? std::uniform_int_distribution(40, 120)(random)
                                      : std::uniform_int_distribution(3, 12)(random);
    disk.LeaveFree(uintmax_t(pages) * 4096);
    SCOPED_TRACE(format + ", " + std::to_string(pages) + " pages free, seed " + std::to_string(seed));
    OutputFile out;
    const EncoderChoice choice = ChooseEncoder(format);
    ASSERT_EQ(out.Allocate(disk.path(), "cut." + format), 0);
    ASSERT_EQ(out.Open(choice, 128000), 0);
    Frames frames(choice);
    for (int64_t samples = 0; !out.writeFailed() && samples < 30 * kOutputSampleRate; samples += choice.frameSize)
      out.Encode(frames.Next(true));
    ASSERT_TRUE(out.writeFailed()) << "the disk did not fill";
    out.Finish();
    const DecodedAudio audio = DecodeFile(out.path());
    ASSERT_TRUE(audio.ok) << audio.error;
    EXPECT_GT(audio.seconds(), 0.2);
    ExpectValid(out.path(), audio.seconds());
    if (format == "mp3") {
      const Mp3Count count = CountMp3(out.path());
      EXPECT_EQ(count.stated, count.whole);
      EXPECT_EQ(count.trailing, 0u);
    }
  }
}

// Writes seconds of audio through out as fast as it encodes, silence but for a tone in the last
// toneSeconds. Returns the resident memory growth from a tenth of the way to the end, in MiB.
// AddressSanitizer keeps freed memory in quarantine (up to 256 MB), so the resident size grows
// with every allocation made and freed, whatever the writer keeps.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kMemorySlackMiB = 300;
#else
constexpr double kMemorySlackMiB = 0;
#endif

double WriteLong(OutputFile& out, const EncoderChoice& choice, int64_t seconds, int64_t toneSeconds) {
  Frames frames(choice);
  const int64_t total = seconds * kOutputSampleRate;
  double settled = 0;
  for (int64_t made = 0; made < total; made += choice.frameSize) {
    if (made < total / 10 && made + choice.frameSize >= total / 10) settled = ResidentMiB();
    if (out.Encode(frames.Next(made >= total - toneSeconds * kOutputSampleRate)) < 0) break;
  }
  return ResidentMiB() - settled;
}

// The file's last seconds, cut out by ffmpeg and decoded.
DecodedAudio TailOf(const std::string& path, const std::string& folder) {
  const std::string tail = folder + "/tail.wav";
  const CommandResult cut =
      RunCommand({"ffmpeg", "-v", "error", "-y", "-sseof", "-3", "-i", path, "-t", "2", tail}, {}, 120s);
  EXPECT_TRUE(cut.finished && cut.exitCode == 0) << cut.output;
  return DecodeFile(tail);
}

// 6 h 50 min of CD-quality stereo: past 4 GiB the wav becomes RF64 while it is written, so that
// a crash still leaves it readable, and is read whole by ffprobe and the recordings list.
TEST(OutputFileTest, AWavPastFourGibibytesBecomesRf64AndReadsBackWhole) {
  TempFolder folder("/dev/shm");
  constexpr int64_t kSeconds = 6 * 3600 + 50 * 60;
  OutputFile out;
  const EncoderChoice choice = ChooseEncoder("wav");
  ASSERT_EQ(out.Allocate(folder.path(), "night.wav"), 0);
  ASSERT_EQ(out.Open(choice, 128000), 0);
  const double grown = WriteLong(out, choice, kSeconds, 5);
  std::cout << "memory grew by " << grown << " MiB while writing " << kSeconds << " s of wav\n";
  EXPECT_LT(grown, 8.0 + kMemorySlackMiB);
  // Cut short as a crash would leave it, its header already holds the 64-bit sizes.
  {
    std::ifstream in(out.path(), std::ios::binary);
    uint8_t header[4096];
    in.read(reinterpret_cast<char*>(header), sizeof header);
    WavLayout layout;
    ASSERT_TRUE(ParseWavLayout(header, sizeof header, &layout));
    EXPECT_TRUE(layout.rf64);
    EXPECT_GT(layout.dataSize, uint64_t{1} << 32);
  }
  ASSERT_EQ(out.Finish(), 0);
  const double seconds = static_cast<double>(kSeconds);
  ExpectValid(out.path(), seconds);
  EXPECT_NEAR(ReadMediaDuration(out.path()), seconds, 0.01);
  const DecodedAudio tail = TailOf(out.path(), folder.path());
  ASSERT_TRUE(tail.ok) << tail.error;
  EXPECT_GT(ToneAmplitude(tail.left, kOutputSampleRate, kToneHz, 0, tail.left.size()), 0.3) << "the end is not there";

  // Sizes a writer left unpatched are repaired in the RF64 header too.
  {
    UniqueFd fd(::open(out.path().c_str(), O_RDWR | O_CLOEXEC));
    const uint8_t zeros[16] = {};
    ASSERT_EQ(::pwrite(fd.get(), zeros, sizeof zeros, 12 + 8), 16);  // the ds64 chunk's sizes
  }
  EXPECT_EQ(RepairUnpatchedWav(out.path()), 1);
  EXPECT_NEAR(ReadMediaDuration(out.path()), seconds, 0.01);
}

// Half an hour of m4a: fragments are written in memory that does not grow, and finishing it needs
// as much room again for the rewrite: where the disk has it the file becomes a plain MP4,
// where it has not the fragmented file stays, whole and playable.
TEST(OutputFileTest, HalfAnHourOfM4aIsWrittenInFlatMemoryAndFinishedWhateverRoomIsLeft) {
  TempFolder folder;
  for (const bool roomy : {true, false}) {
    SmallDisk disk(folder.path() + (roomy ? "/roomy" : "/tight"), "size=64m");
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (not root?)";
    OutputFile out;
    const EncoderChoice choice = ChooseEncoder("m4a");
    ASSERT_EQ(out.Allocate(disk.path(), "lecture.m4a"), 0);
    ASSERT_EQ(out.Open(choice, 128000), 0);
    const int64_t seconds = roomy ? 1800 : 300;
    const double grown = WriteLong(out, choice, seconds, 5);
    std::cout << "memory grew by " << grown << " MiB while writing " << seconds << " s of m4a\n";
    if (roomy) {
      EXPECT_LT(grown, 4.0 + kMemorySlackMiB);
    } else {
      disk.LeaveFree(std::filesystem::file_size(out.path()) / 2);
    }
    ASSERT_EQ(out.Finish(), 0);
    EXPECT_EQ(out.keptFragmented(), !roomy);
    ExpectValid(out.path(), static_cast<double>(seconds) + 0.023);  // and the encoder's priming
    const DecodedAudio tail = TailOf(out.path(), folder.path());
    ASSERT_TRUE(tail.ok) << tail.error;
    EXPECT_GT(ToneAmplitude(tail.left, kOutputSampleRate, kToneHz, 0, tail.left.size()), 0.3) << "the end is not there";
  }
}

}  // namespace
}  // namespace zav::test
