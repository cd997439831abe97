#pragma once
// The job file's text: an object whose "list" holds the jobs in the order they were added,
// each with "cronJobId", "cronJobName", "starttime", "endtime" and "status". Texts are written
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

// The text with job appended to "list"; from an empty text, a document holding only job.
// nullopt when text is not a job document.
std::optional<std::string> AppendJob(std::string_view text, const StoredJob& job);

// The text without the first job numbered id (later ones with that number stay); the same
// document when none has it. nullopt when text is not a job document.
std::optional<std::string> RemoveJob(std::string_view text, int32_t id);

}  // namespace zav
