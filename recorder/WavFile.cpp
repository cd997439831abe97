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

constexpr uint64_t kDs64Bytes = 28;  // riff size, data size, sample count (64 bits each), table length

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint64_t Le64(const uint8_t* p) { return Le32(p) | uint64_t{Le32(p + 4)} << 32; }

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool WriteAt(int fd, const uint8_t* bytes, size_t size, uint64_t offset) {
  return pwrite(fd, bytes, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

}  // namespace

bool HasPlaceholderSizes(const WavLayout& layout) {
  if (layout.rf64) return layout.dataSize == 0 || layout.riffSize == 0;
  return layout.dataSize == 0 || layout.dataSize == 0xFFFFFFFFu || layout.riffSize == 0 ||
         layout.riffSize == 0xFFFFFFFFu;
}

bool ParseWavLayout(const uint8_t* bytes, size_t length, WavLayout* layout) {
  if (length < 12 || std::memcmp(bytes + 8, "WAVE", 4) != 0) return false;
  const bool rf64 = std::memcmp(bytes, "RF64", 4) == 0;
  if (!rf64 && std::memcmp(bytes, "RIFF", 4) != 0) return false;
  *layout = WavLayout{};
  layout->rf64 = rf64;
  layout->riffSize = Le32(bytes + 4);
  bool haveFormat = false;
  size_t at = 12;
  while (at + 8 <= length) {
    const uint8_t* chunk = bytes + at;
    const uint32_t size = Le32(chunk + 4);
    const bool ds64 = std::memcmp(chunk, "ds64", 4) == 0;
    if ((ds64 || std::memcmp(chunk, "JUNK", 4) == 0) && !haveFormat && size >= kDs64Bytes &&
        at + 8 + kDs64Bytes <= length && layout->ds64Offset == 0) {
      layout->ds64Offset = at;
      if (ds64 && rf64) layout->riffSize = Le64(chunk + 8);
    } else if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || at + 8 + 16 > length) return false;
      layout->blockAlign = Le16(chunk + 8 + 12);
      haveFormat = layout->blockAlign > 0;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return false;
      // An RF64 file keeps its sizes in its ds64 chunk, which must come first.
      if (rf64 && (layout->ds64Offset == 0 || std::memcmp(bytes + layout->ds64Offset, "ds64", 4) != 0)) return false;
      layout->dataSizeOffset = at + 4;
      layout->dataStart = at + 8;
      layout->dataSize = rf64 ? Le64(bytes + layout->ds64Offset + 16) : size;
      return true;
    }
    at += 8 + static_cast<size_t>(size) + (size & 1);
  }
  return false;
}

WavSizes ExpectedWavSizes(const WavLayout& layout, uint64_t fileSize) {
  uint64_t data = fileSize > layout.dataStart ? fileSize - layout.dataStart : 0;
  data -= data % layout.blockAlign;
  if (layout.ds64Offset == 0) {
    const uint64_t limit = std::numeric_limits<uint32_t>::max() - layout.dataStart;
    if (data > limit) data = limit - limit % layout.blockAlign;
  }
  return {layout.dataStart + data - 8, data};
}

int WriteWavSizes(int fd, WavLayout* layout, uint64_t fileSize) {
  const WavSizes sizes = ExpectedWavSizes(*layout, fileSize);
  uint8_t field[4];
  if (!layout->rf64 && sizes.riff <= std::numeric_limits<uint32_t>::max()) {
    PutLe32(field, static_cast<uint32_t>(sizes.riff));
    if (!WriteAt(fd, field, 4, 4)) return -1;
    PutLe32(field, static_cast<uint32_t>(sizes.data));
    if (!WriteAt(fd, field, 4, layout->dataSizeOffset)) return -1;
  } else {
    // The true sizes go into ds64 first, then the file says it is RF64: cut short anywhere in
    // between it still reads, as the RIFF it was or as the RF64 it became.
    uint8_t ds64[8 + kDs64Bytes] = {'d', 's', '6', '4'};
    PutLe32(ds64 + 4, static_cast<uint32_t>(kDs64Bytes));
    PutLe64(ds64 + 8, sizes.riff);
    PutLe64(ds64 + 16, sizes.data);
    PutLe64(ds64 + 24, sizes.data / layout->blockAlign);
    if (!WriteAt(fd, ds64, sizeof ds64, layout->ds64Offset)) return -1;
    PutLe32(field, 0xFFFFFFFFu);
    if (!WriteAt(fd, field, 4, layout->dataSizeOffset)) return -1;
    const uint8_t riff[8] = {'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF};
    if (!WriteAt(fd, riff, sizeof riff, 0)) return -1;
    layout->rf64 = true;
  }
  layout->riffSize = sizes.riff;
  layout->dataSize = sizes.data;
  return 0;
}

int RepairWavSizes(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  uint8_t header[kHeaderProbeBytes];
  const ssize_t got = pread(fd, header, sizeof header, 0);
  WavLayout layout;
  if (got <= 0 || !ParseWavLayout(header, static_cast<size_t>(got), &layout)) return -1;
  const auto fileSize = static_cast<uint64_t>(st.st_size);
  const WavSizes sizes = ExpectedWavSizes(layout, fileSize);
  // Only a data chunk that runs past the end of the file, or stops short of it with the
  // placeholder sizes of an unfinished recording, is repaired; chunks after the data are kept.
  const uint64_t announcedEnd = layout.dataStart + layout.dataSize;
  const bool unfinished = HasPlaceholderSizes(layout) || announcedEnd > fileSize;
  const bool stale = layout.riffSize + 8 == announcedEnd && announcedEnd < fileSize;
  if (!unfinished && !stale) return 0;
  if (layout.dataSize == sizes.data && layout.riffSize == sizes.riff) return 0;
  return WriteWavSizes(fd, &layout, fileSize) == 0 ? 1 : -1;
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
  const WavSizes sizes = ExpectedWavSizes(layout, static_cast<uint64_t>(st.st_size));
  if (layout.riffSize == sizes.riff && layout.dataSize == sizes.data) return 0;  // a WAV without samples
  const UniqueFd writer(open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat same {};
  if (!writer.valid() || fstat(writer.get(), &same) != 0 || same.st_ino != st.st_ino || same.st_dev != st.st_dev) {
    return -1;
  }
  return WriteWavSizes(writer.get(), &layout, static_cast<uint64_t>(same.st_size)) == 0 ? 1 : -1;
}

}  // namespace zav
