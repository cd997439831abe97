#pragma once
// Job times ("YYYY-MM-DD HH:MM:SS", local time) and the state that a job's start time gives it
// in the job list. The state is worked out for display only and never stored.

#include <cstdint>
#include <optional>
#include <string_view>

#include "CronJob.h"

namespace zav {

// A time text needs the field positions up to the seconds (index 17) to exist.
inline constexpr std::size_t kMinJobTimeLength = 17;

// The local time that text describes, in seconds since the epoch. 64 bits wide, so jobs after
// January 2038 are read, compared and checked like any other. Only fixed positions are read: year 0-3, month 5-6, day 8-9, hour 11-12,
// minute 14-15, second 17-18, each as a leading decimal number (0 without digits); values out
// of range carry into the next unit. The time is the one the clock on the wall shows then,
// daylight saving included: a job typed for 14:00 in summer starts at 14:00.
int64_t ParseJobTime(std::string_view text);

// False for a text too short to hold every field (an empty field, say).
bool IsCompleteJobTime(std::string_view text);

// True when both times are complete and the end is strictly later than the start.
bool IsValidJobPeriod(std::string_view starttime, std::string_view endtime);

// kRecording is shown while the job records; it is never stored.
enum class JobState { kNotStarted = 0, kDone = 1, kExpired = 2, kRecording = 3 };

// Stored status 1 is done, whatever the times; otherwise a start earlier than now is expired.
// An incomplete start time cannot be read and counts as not started. The end time plays no part.
JobState WorkOutJobState(int32_t status, std::string_view starttime, int64_t now);

// A job's span in seconds since the epoch; nullopt when a time cannot be read or the end is not
// later than the start.
struct JobSpan {
  int64_t start = 0;
  int64_t end = 0;
};
std::optional<JobSpan> SpanOf(const CronJob& job);

// The state a job shows when nothing records it now: a job that records is expired only once
// its whole span has passed (a start inside the span records the rest); any other job as
// WorkOutJobState says.
JobState StateOfJob(const CronJob& job, int64_t now);

// "未开始", "已完成", "已失效", "进行中" (UTF-8).
const char* JobStateText(JobState state);

// The current time, in seconds since the epoch.
int64_t NowSeconds();

}  // namespace zav
