#pragma once
// The files the recorder writes are always new files of its own: created so that an existing
// name, or a link planted at it, is never opened, and written by FFmpeg through the
// descriptor we created rather than by name.

#include <memory>
#include <string>

#include "UniqueFd.h"

struct AVIOContext;

namespace zav {

// Creates folder + "/" + name as a new file, open for reading and writing. When the name
// is taken (by a file, a link or anything else) it tries NumberedFileName(name, 2), 3, ...
// *usedName gets the name created. An invalid descriptor (errno set) when no name could be
// created.
UniqueFd CreateNewFile(const std::string& folder, const std::string& name, std::string* usedName);

struct AvioDeleter {
  void operator()(AVIOContext* io) const;
};
using AvioPtr = std::unique_ptr<AVIOContext, AvioDeleter>;

// FFmpeg I/O (read, write, seek) over fd, from offset 0 of the I/O at the descriptor's
// current offset. The descriptor stays the caller's and must outlive the context; a writer
// flushes (avio_flush) before the context goes.
AvioPtr MakeFdIo(int fd, bool writable);

// True while path names the open file fd: it was not deleted, moved or replaced.
bool PathStillNames(const std::string& path, int fd);

}  // namespace zav
