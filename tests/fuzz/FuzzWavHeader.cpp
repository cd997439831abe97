// WAV headers from disk (recordings cut short, or any file named .wav in the folder):
// parsing never reads out of bounds and the sizes it derives stay inside the file.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "WavFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zav::WavLayout layout;
  if (!zav::ParseWavLayout(data, size, &layout)) return 0;
  if (layout.blockAlign == 0 || layout.dataStart > size || layout.dataSizeOffset + 4 > layout.dataStart) std::abort();
  for (uint64_t fileSize : {uint64_t{0}, uint64_t{size}, layout.dataStart + 12345, uint64_t{1} << 33}) {
    const zav::WavSizes sizes = zav::ExpectedWavSizes(layout, fileSize);
    if (sizes.data % layout.blockAlign != 0) std::abort();
    if (fileSize >= layout.dataStart && layout.dataStart + sizes.data > fileSize) std::abort();
    if (layout.ds64Offset == 0 && sizes.riff > UINT32_MAX) std::abort();
  }
  return 0;
}
