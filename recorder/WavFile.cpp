#include "WavFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <limits>

#include "UniqueFd.h"

namespace zav {
namespace {

constexpr size_t kHeaderProbeBytes = 4096;

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

bool HasPlaceholderSizes(const WavLayout& layout) {
  return layout.dataSize == 0 || layout.dataSize == 0xFFFFFFFFu || layout.riffSize == 0 ||
         layout.riffSize == 0xFFFFFFFFu;
}

bool ParseWavLayout(const uint8_t* bytes, size_t length, WavLayout* layout) {
  if (length < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0) return false;
  layout->riffSize = Le32(bytes + 4);
  bool haveFormat = false;
  size_t at = 12;
  while (at + 8 <= length) {
    const uint8_t* chunk = bytes + at;
    const uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || at + 8 + 16 > length) return false;
      layout->blockAlign = Le16(chunk + 8 + 12);
      haveFormat = layout->blockAlign > 0;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return false;
      layout->dataSizeOffset = at + 4;
      layout->dataStart = at + 8;
      layout->dataSize = size;
      return true;
    }
    at += 8 + static_cast<size_t>(size) + (size & 1);
  }
  return false;
}

void ExpectedWavSizes(const WavLayout& layout, uint64_t fileSize, uint32_t* riffSize, uint32_t* dataSize) {
  uint64_t data = fileSize > layout.dataStart ? fileSize - layout.dataStart : 0;
  data -= data % layout.blockAlign;
  const uint64_t limit = std::numeric_limits<uint32_t>::max() - layout.dataStart;
  if (data > limit) data = limit - limit % layout.blockAlign;
  *dataSize = static_cast<uint32_t>(data);
  *riffSize = static_cast<uint32_t>(layout.dataStart + data - 8);
}

int WriteWavSizes(int fd, const WavLayout& layout, uint64_t fileSize) {
  uint32_t riff = 0, data = 0;
  ExpectedWavSizes(layout, fileSize, &riff, &data);
  uint8_t field[4];
  PutLe32(field, riff);
  if (pwrite(fd, field, 4, 4) != 4) return -1;
  PutLe32(field, data);
  if (pwrite(fd, field, 4, static_cast<off_t>(layout.dataSizeOffset)) != 4) return -1;
  return 0;
}

int RepairWavSizes(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  uint8_t header[kHeaderProbeBytes];
  const ssize_t got = pread(fd, header, sizeof header, 0);
  WavLayout layout;
  if (got <= 0 || !ParseWavLayout(header, static_cast<size_t>(got), &layout)) return -1;
  uint32_t riff = 0, data = 0;
  ExpectedWavSizes(layout, static_cast<uint64_t>(st.st_size), &riff, &data);
  // Only a data chunk that runs past the end of the file, or stops short of it with the
  // placeholder sizes of an unfinished recording, is repaired; chunks after the data are kept.
  const uint64_t announcedEnd = layout.dataStart + layout.dataSize;
  const bool unfinished = HasPlaceholderSizes(layout) || announcedEnd > static_cast<uint64_t>(st.st_size);
  const bool stale = layout.riffSize + 8ULL == announcedEnd && announcedEnd < static_cast<uint64_t>(st.st_size);
  if (!unfinished && !stale) return 0;
  if (layout.dataSize == data && layout.riffSize == riff) return 0;
  return WriteWavSizes(fd, layout, static_cast<uint64_t>(st.st_size)) == 0 ? 1 : -1;
}

int RepairUnpatchedWav(const std::string& path) {
  // Read first: a file with nothing to repair is not even opened for writing.
  const UniqueFd reader(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!reader.valid()) return -1;
  struct stat st {};
  if (fstat(reader.get(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  uint8_t header[kHeaderProbeBytes];
  const ssize_t got = pread(reader.get(), header, sizeof header, 0);
  WavLayout layout;
  if (got <= 0 || !ParseWavLayout(header, static_cast<size_t>(got), &layout)) return -1;
  if (!HasPlaceholderSizes(layout)) return 0;
  uint32_t riff = 0, data = 0;
  ExpectedWavSizes(layout, static_cast<uint64_t>(st.st_size), &riff, &data);
  if (layout.riffSize == riff && layout.dataSize == data) return 0;  // a WAV without samples
  const UniqueFd writer(open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat same {};
  if (!writer.valid() || fstat(writer.get(), &same) != 0 || same.st_ino != st.st_ino || same.st_dev != st.st_dev) {
    return -1;
  }
  return WriteWavSizes(writer.get(), layout, static_cast<uint64_t>(same.st_size)) == 0 ? 1 : -1;
}

}  // namespace zav
