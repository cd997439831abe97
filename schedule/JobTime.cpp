#include "JobTime.h"

#include <ctime>

namespace zav {

static_assert(sizeof(std::time_t) >= sizeof(int64_t), "job times after January 2038 need a 64-bit time_t");

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The field of length characters at position (shorter where the text ends early) read as a
// leading decimal number: blanks skipped, an optional sign, the digits; 0 without digits.
int ReadField(std::string_view text, std::size_t position, std::size_t length) {
  if (position >= text.size()) return 0;
  const std::string_view field = text.substr(position, length);
  std::size_t i = 0;
  while (i < field.size() && IsBlank(field[i])) ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  int value = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) value = value * 10 + (field[i] - '0');
  return negative ? -value : value;
}

}  // namespace

int64_t ParseJobTime(std::string_view text) {
  std::tm calendar{};
  calendar.tm_year = ReadField(text, 0, 4) - 1900;
  calendar.tm_mon = ReadField(text, 5, 2) - 1;
  calendar.tm_mday = ReadField(text, 8, 2);
  calendar.tm_hour = ReadField(text, 11, 2);
  calendar.tm_min = ReadField(text, 14, 2);
  calendar.tm_sec = ReadField(text, 17, 2);
  calendar.tm_isdst = -1;  // whatever daylight saving says at that time
  return static_cast<int64_t>(std::mktime(&calendar));
}

bool IsCompleteJobTime(std::string_view text) { return text.size() >= kMinJobTimeLength; }

bool IsValidJobPeriod(std::string_view starttime, std::string_view endtime) {
  return IsCompleteJobTime(starttime) && IsCompleteJobTime(endtime) &&
         ParseJobTime(endtime) > ParseJobTime(starttime);
}

JobState WorkOutJobState(int32_t status, std::string_view starttime, int64_t now) {
  if (status == 1) return JobState::kDone;
  if (!IsCompleteJobTime(starttime)) return JobState::kNotStarted;
  return ParseJobTime(starttime) < now ? JobState::kExpired : JobState::kNotStarted;
}

std::optional<JobSpan> SpanOf(const CronJob& job) {
  if (!IsValidJobPeriod(job.starttime, job.endtime)) return std::nullopt;
  return JobSpan{ParseJobTime(job.starttime), ParseJobTime(job.endtime)};
}

JobState StateOfJob(const CronJob& job, int64_t now) {
  if (job.status == 1 || !job.record) return WorkOutJobState(job.status, job.starttime, now);
  const std::optional<JobSpan> span = SpanOf(job);
  if (!span) return WorkOutJobState(job.status, job.starttime, now);
  return span->end <= now ? JobState::kExpired : JobState::kNotStarted;
}

const char* JobStateText(JobState state) {
  switch (state) {
    case JobState::kNotStarted: return "未开始";
    case JobState::kDone: return "已完成";
    case JobState::kExpired: return "已失效";
    case JobState::kRecording: return "进行中";
  }
  return "";
}

int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace zav
