#pragma once
// The playing time of a recording, for the recordings list.

#include <string>

namespace zav {

// Seconds of audio in the file at path (UTF-8), or -1 when it cannot be read. A WAV whose
// size fields were left unpatched by a crash is repaired first, so it lists (and plays)
// with all its audio.
double ReadMediaDuration(const std::string& path);

}  // namespace zav
