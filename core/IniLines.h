#pragma once
// Ini text as a stream of lines, so that reading a key or writing one holds a line at a
// time, never the whole file: a huge or damaged configure.ini costs time, not memory.
// Internal to the settings store.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zav::ini {

// The longest line (line break included) that is parsed. A longer line is kept byte for
// byte at every write and never read.
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;

class LineSource {
 public:
  virtual ~LineSource() = default;
  // The next line with its line break. A line longer than kMaxLineBytes may come in
  // several pieces, each with whole = false. False at the end of the text.
  virtual bool Next(std::string_view* bytes, bool* whole) = 0;
};

// The lines of a text in memory.
class TextLines final : public LineSource {
 public:
  explicit TextLines(std::string_view text) : text_(text) {}
  bool Next(std::string_view* bytes, bool* whole) override;

 private:
  std::string_view text_;
};

// The lines of an open file, from its current offset, through a buffer of about kMaxLineBytes.
class FileLines final : public LineSource {
 public:
  explicit FileLines(int fd) : fd_(fd), buffer_(kMaxLineBytes + 1) {}
  bool Next(std::string_view* bytes, bool* whole) override;
  // True when reading failed; the lines handed out so far are then not the whole file.
  bool failed() const { return failed_; }

 private:
  int fd_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0, end_ = 0;  // unread bytes in buffer_
  bool inLongLine_ = false;          // the last piece handed out did not end its line
  bool atEnd_ = false;
  bool failed_ = false;
};

// Receives the text of a write piece by piece; false stops the write.
using TextSink = std::function<bool(std::string_view)>;

bool Lookup(LineSource& lines, std::string_view section, std::string_view key, std::string* value);

// Where a write of section/key goes, found by a first pass over the text.
struct Edit {
  long keyLine = -1;      // the line holding the key (counted among whole lines), or -1
  long anchorLine = -1;   // else: the line after which the key is inserted, or -1
  bool anchorHasBreak = false;
  bool endsWithBreak = true;  // the text is empty or ends with a line feed
};
Edit PlanEdit(LineSource& lines, std::string_view section, std::string_view key);

// Second pass: the text with section/key set to value, handed to sink. False when the sink
// refused a piece. The caller has checked CanStore.
bool ApplyEdit(LineSource& lines, const Edit& edit, std::string_view section, std::string_view key,
               std::string_view value, const TextSink& sink);

}  // namespace zav::ini
