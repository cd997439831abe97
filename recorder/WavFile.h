#pragma once
// Keeping the size fields of a WAV file true: while a recording is written (so that a file
// cut short by a crash still reads to its last flush), when its writer finishes it, and
// afterwards, to repair a file whose sizes were never patched. A recording past 4 GiB becomes
// RF64, whose sizes are 64 bits wide.

#include <cstddef>
#include <cstdint>
#include <string>

namespace zav {

struct WavLayout {
  uint64_t dataStart = 0;       // offset of the first sample byte
  uint64_t dataSizeOffset = 0;  // offset of the data chunk's 32-bit size field
  // Offset of the chunk that holds the 64-bit sizes ("ds64"), or keeps room for them ("JUNK"
  // of 28 bytes or more before "fmt "); 0 when there is none.
  uint64_t ds64Offset = 0;
  bool rf64 = false;            // an RF64 file: its sizes are in its ds64 chunk
  uint64_t riffSize = 0;        // as stored (the ds64 chunk's in an RF64 file)
  uint64_t dataSize = 0;        // as stored (the ds64 chunk's in an RF64 file)
  uint16_t blockAlign = 0;      // bytes per sample frame
};

// Finds the data chunk in the first bytes of a WAV file (RIFF or RF64). False when it is not a
// RIFF/RF64 WAVE file with a "fmt " chunk before its "data" chunk within those bytes.
bool ParseWavLayout(const uint8_t* bytes, size_t length, WavLayout* layout);

struct WavSizes {
  uint64_t riff = 0;
  uint64_t data = 0;
};
// The sizes a file of fileSize bytes should carry: data runs to the end of the file, cut to
// whole sample frames. Past what 32 bits hold (4 GiB) only a file with room for a ds64 chunk
// goes on; any other stops counting there.
WavSizes ExpectedWavSizes(const WavLayout& layout, uint64_t fileSize);

// Writes the sizes for a file of fileSize bytes through fd. A file past 4 GiB with room for
// them becomes RF64 (EBU Tech 3306): "RF64", the 32-bit sizes all ones, and the true sizes in
// its ds64 chunk; *layout follows. 0 or -1.
int WriteWavSizes(int fd, WavLayout* layout, uint64_t fileSize);

// True when a size field still holds what a writer puts there before it knows the length:
// 0 or 0xFFFFFFFF in the RIFF or the data chunk's size; 0 in an RF64 file's ds64 sizes.
bool HasPlaceholderSizes(const WavLayout& layout);

// For the writer of the file, through its open descriptor (read and write): makes the size
// fields cover all the audio written, when they disagree with the file's length.
// 1 repaired, 0 nothing to repair, -1 not a WAV file or not writable.
int RepairWavSizes(int fd);

// For a WAV file found in a folder: repairs it only when its size fields are placeholders,
// which is what a recording cut short before its first size update leaves. A file whose
// chunks agree with each other is never written, whatever follows its data (a tag, another
// chunk, or audio written after the last update). 1 repaired, 0 nothing to repair, -1 not a
// WAV file or not writable.
int RepairUnpatchedWav(const std::string& path);

}  // namespace zav
