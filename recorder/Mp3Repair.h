#pragma once
// An MP3 whose writing stopped at a failed write (a full disk) ends in a cut frame, and its
// Xing/Info header still says what the muxer wrote before the first frame: no frames, no bytes.
// Players then guess its length, and checkers call it broken. RepairCutMp3 cuts the file back
// to its last whole frame and writes the header for the frames that are there, in place, so
// that it needs no free space: frame and byte counts, the seek table, and the LAME extension's
// music length and checksums, as the muxer would have written them.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zav {

// Repairs the MP3 open (read and write) as fd. 1 repaired, 0 nothing to repair (a whole file
// whose header counts its frames), -1 not an MP3 with a Xing/Info header, or an I/O error.
int RepairCutMp3(int fd);

// The parts of the repair that need no file, for tests. The Xing/Info frame (first frame of the
// file) rewritten for audio frames of the given sizes that follow it, whose bytes have the
// CRC-16 musicCrc. False when frame is not such a frame.
bool RewriteXingFrame(std::vector<uint8_t>* frame, const std::vector<uint16_t>& audioFrameSizes, uint16_t musicCrc);

}  // namespace zav
