#include "Mp3Repair.h"

#include <glog/logging.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>

extern "C" {
#include <libavutil/crc.h>
}

namespace zav {
namespace {

constexpr size_t kChunkBytes = 1 << 20;
constexpr size_t kTocEntries = 100;
// The LAME extension after the Xing fields: 36 bytes, its last four the music CRC's end and
// the tag's own CRC, which covers every byte of the frame before it.
constexpr size_t kLameBytes = 36;
constexpr size_t kLameMusicLength = 28;
constexpr size_t kLameMusicCrc = 32;
constexpr size_t kLameTagCrc = 34;
constexpr uint32_t kXingFrames = 1, kXingBytes = 2, kXingToc = 4, kXingQuality = 8;

struct FrameHeader {
  int version = 0;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
  int sampleRate = 0;
  bool mono = false;
  size_t size = 0;
};

uint32_t ReadBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
void WriteBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// A Layer III frame header; nullopt for anything else.
std::optional<FrameHeader> ParseHeader(const uint8_t* p) {
  const uint32_t h = ReadBe32(p);
  if ((h >> 21) != 0x7FF) return std::nullopt;
  const int version = static_cast<int>((h >> 19) & 3);
  const int layer = static_cast<int>((h >> 17) & 3);
  const int bitrateIndex = static_cast<int>((h >> 12) & 15);
  const int rateIndex = static_cast<int>((h >> 10) & 3);
  if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return std::nullopt;
  static constexpr int kMpeg1Kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static constexpr int kMpeg2Kbps[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  static constexpr int kRates[3][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}};
  static constexpr int kMpeg1Rates[] = {44100, 48000, 32000};
  FrameHeader header;
  header.version = version;
  header.sampleRate = version == 3 ? kMpeg1Rates[rateIndex] : kRates[version][rateIndex];
  header.mono = ((h >> 6) & 3) == 3;
  const int kbps = version == 3 ? kMpeg1Kbps[bitrateIndex] : kMpeg2Kbps[bitrateIndex];
  const int perFrame = version == 3 ? 144000 : 72000;
  header.size = static_cast<size_t>(perFrame * kbps / header.sampleRate + ((h >> 9) & 1));
  return header;
}

// The file read forward in chunks: bytes [offset, offset + n) on demand.
class ForwardReader {
 public:
  ForwardReader(int fd, uint64_t fileSize) : fd_(fd), fileSize_(fileSize) {}
  // The bytes at offset, n of them; nullptr when the file ends before, or on an error.
  const uint8_t* At(uint64_t offset, size_t n) {
    if (offset + n > fileSize_) return nullptr;
    if (offset < base_ || offset + n > base_ + buffer_.size()) {
      buffer_.resize(std::max(kChunkBytes, n));
      const ssize_t got = pread(fd_, buffer_.data(), buffer_.size(), static_cast<off_t>(offset));
      if (got < static_cast<ssize_t>(n)) {
        buffer_.clear();
        return nullptr;
      }
      buffer_.resize(static_cast<size_t>(got));
      base_ = offset;
    }
    return buffer_.data() + (offset - base_);
  }

 private:
  int fd_;
  uint64_t fileSize_;
  uint64_t base_ = 0;
  std::vector<uint8_t> buffer_;
};

// Where the first frame starts: after an ID3v2 tag, if any.
uint64_t FirstFrameOffset(ForwardReader& reader) {
  const uint8_t* tag = reader.At(0, 10);
  if (!tag || std::memcmp(tag, "ID3", 3) != 0) return 0;
  const uint64_t size = (uint64_t{tag[6] & 0x7Fu} << 21) | (uint64_t{tag[7] & 0x7Fu} << 14) |
                        (uint64_t{tag[8] & 0x7Fu} << 7) | (tag[9] & 0x7Fu);
  return 10 + size + ((tag[5] & 0x10) ? 10 : 0);  // a footer, when flagged
}

// The offset of "Xing" or "Info" in the frame: after the side information, or else anywhere
// in its first bytes; 0 when there is none.
size_t XingOffset(const std::vector<uint8_t>& frame, const FrameHeader& header) {
  auto isTag = [&](size_t i) {
    return i + 8 <= frame.size() && (std::memcmp(&frame[i], "Xing", 4) == 0 || std::memcmp(&frame[i], "Info", 4) == 0);
  };
  const size_t sideInfo = header.version == 3 ? (header.mono ? 21 : 36) : (header.mono ? 13 : 21);
  if (isTag(sideInfo)) return sideInfo;
  for (size_t i = 4; i < std::min(frame.size(), size_t{64}); ++i) {
    if (isTag(i)) return i;
  }
  return 0;
}

bool LooksLikeEncoderName(const uint8_t* p) {
  return std::all_of(p, p + 4, [](uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

uint16_t Crc16(uint16_t crc, const uint8_t* data, size_t size) {
  return static_cast<uint16_t>(av_crc(av_crc_get_table(AV_CRC_16_ANSI_LE), crc, data, size));
}

}  // namespace

bool RewriteXingFrame(std::vector<uint8_t>* frame, const std::vector<uint16_t>& audioFrameSizes, uint16_t musicCrc) {
  if (frame->size() < 4) return false;
  const std::optional<FrameHeader> header = ParseHeader(frame->data());
  if (!header || header->size != frame->size()) return false;
  const size_t xing = XingOffset(*frame, *header);
  if (xing == 0) return false;
  uint8_t* f = frame->data();
  const uint32_t flags = ReadBe32(f + xing + 4);
  uint64_t total = frame->size();
  for (uint16_t size : audioFrameSizes) total += size;
  const auto bytes = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX));
  size_t at = xing + 8;
  auto fits = [&](size_t n) { return at + n <= frame->size(); };
  if (flags & kXingFrames) {
    if (!fits(4)) return false;
    WriteBe32(f + at, static_cast<uint32_t>(audioFrameSizes.size()));
    at += 4;
  }
  if (flags & kXingBytes) {
    if (!fits(4)) return false;
    WriteBe32(f + at, bytes);
    at += 4;
  }
  if (flags & kXingToc) {
    if (!fits(kTocEntries)) return false;
    // Entry i: where the frame at i % of the audio ends, in 256ths of the bytes.
    const size_t n = audioFrameSizes.size();
    uint64_t position = frame->size();
    size_t counted = 0;
    f[at] = 0;
    for (size_t i = 1; i < kTocEntries; ++i) {
      const size_t j = i * n / kTocEntries;
      while (counted <= j && counted < n) position += audioFrameSizes[counted++];
      f[at + i] = n == 0 ? 0 : static_cast<uint8_t>(std::min<uint64_t>(255, 256 * position / total));
    }
    at += kTocEntries;
  }
  if (flags & kXingQuality) at += 4;
  if (fits(kLameBytes) && LooksLikeEncoderName(f + at)) {
    WriteBe32(f + at + kLameMusicLength, bytes);
    f[at + kLameMusicCrc] = static_cast<uint8_t>(musicCrc >> 8);
    f[at + kLameMusicCrc + 1] = static_cast<uint8_t>(musicCrc);
    const uint16_t tagCrc = Crc16(0, f, at + kLameTagCrc);
    f[at + kLameTagCrc] = static_cast<uint8_t>(tagCrc >> 8);
    f[at + kLameTagCrc + 1] = static_cast<uint8_t>(tagCrc);
  }
  return true;
}

int RepairCutMp3(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return -1;
  const auto fileSize = static_cast<uint64_t>(info.st_size);
  ForwardReader reader(fd, fileSize);
  const uint64_t first = FirstFrameOffset(reader);
  const uint8_t* head = reader.At(first, 4);
  const std::optional<FrameHeader> header = head ? ParseHeader(head) : std::nullopt;
  if (!header) return -1;
  const uint8_t* xingBytes = reader.At(first, header->size);
  if (!xingBytes) return -1;
  std::vector<uint8_t> xingFrame(xingBytes, xingBytes + header->size);
  if (XingOffset(xingFrame, *header) == 0) return -1;

  // The whole frames that follow, as long as they are frames of the same stream.
  std::vector<uint16_t> sizes;
  uint16_t crc = 0;
  uint64_t end = first + header->size;
  for (;;) {
    const uint8_t* p = reader.At(end, 4);
    const std::optional<FrameHeader> next = p ? ParseHeader(p) : std::nullopt;
    if (!next || next->version != header->version || next->sampleRate != header->sampleRate) break;
    const uint8_t* whole = reader.At(end, next->size);
    if (!whole) break;
    crc = Crc16(crc, whole, next->size);
    sizes.push_back(static_cast<uint16_t>(next->size));
    end += next->size;
  }
  std::vector<uint8_t> rewritten = xingFrame;
  if (!RewriteXingFrame(&rewritten, sizes, crc)) return -1;
  if (end == fileSize && rewritten == xingFrame) return 0;
  if (end < fileSize && ftruncate(fd, static_cast<off_t>(end)) != 0) return -1;
  if (pwrite(fd, rewritten.data(), rewritten.size(), static_cast<off_t>(first)) != static_cast<ssize_t>(rewritten.size()))
    return -1;
  LOG(INFO) << "mp3 cut back to its " << sizes.size() << " whole frames (" << end << " of " << fileSize
            << " bytes) and its header rewritten";
  return 1;
}

}  // namespace zav
