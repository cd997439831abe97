#pragma once
// Keeping the size fields of a WAV file true: while a recording is written (so that a file
// cut short by a crash still reads to its last flush), when its writer finishes it, and
// afterwards, to repair a file whose sizes were never patched.

#include <cstddef>
#include <cstdint>
#include <string>

namespace zav {

struct WavLayout {
  uint64_t dataStart = 0;       // offset of the first sample byte
  uint64_t dataSizeOffset = 0;  // offset of the data chunk's 32-bit size field
  uint32_t riffSize = 0;        // as stored
  uint32_t dataSize = 0;        // as stored
  uint16_t blockAlign = 0;      // bytes per sample frame
};

// Finds the data chunk in the first bytes of a WAV file. False when it is not a RIFF/WAVE
// file with a "fmt " chunk before its "data" chunk within those bytes.
bool ParseWavLayout(const uint8_t* bytes, size_t length, WavLayout* layout);

// The size fields a file of fileSize bytes should carry: data runs to the end of the file,
// cut to whole sample frames.
void ExpectedWavSizes(const WavLayout& layout, uint64_t fileSize, uint32_t* riffSize, uint32_t* dataSize);

// Writes the size fields for a file of fileSize bytes through fd. 0 or -1.
int WriteWavSizes(int fd, const WavLayout& layout, uint64_t fileSize);

// True when a size field still holds what a writer puts there before it knows the length:
// 0 or 0xFFFFFFFF in the RIFF or the data chunk's size.
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
