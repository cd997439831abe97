#pragma once
// An M4A is recorded as fragmented MP4 (every fragment is playable, so a crash loses at
// most the last second) and rewritten as an ordinary, indexed MP4 when it is finished.
//
// The rewrite goes to a temporary file beside the recording, hidden and with an extension no
// recordings list shows, locked while it is written. It replaces the recording only when
// complete; a crash leaves the fragmented recording and the temporary file, which the next
// recording in that folder removes.

#include <string>
#include <string_view>

namespace zav {

// Rewrites the fragmented MP4 open as fd (the file at path) as a plain MP4, read through fd.
// The result replaces path only while path still names that file. 0 on success;
// kKeptFragmented when the folder's disk has not the room for the copy (the fragmented file,
// which plays as it is, stays); otherwise -1 and the original file is left as it was.
inline constexpr int kKeptFragmented = 1;
int RemuxToPlainMp4(int fd, const std::string& path);

// Cuts a fragmented MP4 whose writing stopped at a failed write (a full disk) back to its
// last whole fragment (a moof and its mdat), in place. 1 cut, 0 nothing to cut, -1 not an MP4
// or an I/O error.
int CutToWholeFragments(int fd);

// True for the names of the rewrite's temporary files.
bool IsRewriteTemporaryName(std::string_view name);

// Removes the temporary files of rewrites that were interrupted (those no running rewrite
// holds) from folder. Returns how many were removed.
int RemoveRewriteLeftovers(const std::string& folder);

}  // namespace zav
