#pragma once
// An M4A is recorded as fragmented MP4 (every fragment is playable, so a crash loses at
// most the last second) and rewritten as an ordinary, indexed MP4 when it is finished.

#include <string>

namespace zav {

// Rewrites the fragmented file at path as a plain MP4 (packets copied, not re-encoded),
// through a temporary file beside it that replaces the original only when complete.
// 0 on success; otherwise -1 and the original file is left as it was.
int RemuxToPlainMp4(const std::string& path);

}  // namespace zav
