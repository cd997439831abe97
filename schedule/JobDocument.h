#pragma once
// The job file's text: an object whose "list" holds the jobs in the order they were added,
// each with "cronJobId", "cronJobName", "starttime", "endtime", "status" and, on a job that
// records, "record": true (a job without it, as every job of older files, is only listed). Texts are written
// with jsoncpp's StyledWriter (members in key order, non-ASCII as \u escapes) and keep any
// member this program does not know.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CronJob.h"

namespace zav {

// The jobs in file order; an empty text holds none. nullopt when text is not a job document
// (not JSON, not an object, or a "list" that is not an array). A member that is missing or of
// another type reads as 0 or as the empty text.
std::optional<std::vector<StoredJob>> ReadJobDocument(std::string_view text);

// The number after id; wraps like the 32-bit counter it is instead of overflowing.
int32_t NextJobId(int32_t id);

// A job added to a document: the new text and the number the job was given.
struct AppendedJob {
  std::string text;
  int32_t cronJobId = 0;
};

// The text with job appended to "list"; from an empty text, a document holding only the job.
// The job is numbered wantedId, or, when a job of the text already has that number, the next
// number after it that none has; never 0, which is what a job without a number reads as.
// nullopt when text is not a job document.
std::optional<AppendedJob> AppendJob(std::string_view text, int32_t wantedId, const CronJob& job);

// The text without one job: the one at position (in file order) when it is the expected job
// (SameJob), else the first one that is, so a list that shows the file's jobs in order removes
// exactly the job of its row even where numbers repeat. The same document when no job is the
// expected one. nullopt when text is not a job document.
std::optional<std::string> RemoveJob(std::string_view text, std::size_t position, const StoredJob& expected);

// The text with one job (found as RemoveJob finds it) marked completed ("status" 1), or with
// its "record" set. Every other member stays as it was. The same document when the job is not
// there; nullopt when text is not a job document.
std::optional<std::string> MarkJobDone(std::string_view text, std::size_t position, const StoredJob& expected);
std::optional<std::string> SetJobRecord(std::string_view text, std::size_t position, const StoredJob& expected,
                                        bool record);

}  // namespace zav
