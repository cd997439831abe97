#include "ElapsedTime.h"

namespace zav {

QString FormatElapsedTime(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const int64_t hours = seconds / 3600;
  const int64_t minutes = (seconds - hours * 3600) / 60;
  const int64_t rest = (seconds - hours * 3600) % 60;
  return QString::asprintf("%02lld:%02lld:%02lld", static_cast<long long>(hours),
                           static_cast<long long>(minutes), static_cast<long long>(rest));
}

QString FormatDurationText(double seconds) {
  // Not a number also lands here: it compares false with everything. No real file plays for
  // 30 million years, so larger values are not meaningful either.
  constexpr double kLongestSeconds = 1e15;
  if (!(seconds >= 0 && seconds < kLongestSeconds)) return kUnknownDuration;
  return FormatElapsedTime(static_cast<int64_t>(seconds));  // truncated toward zero
}

}  // namespace zav
