#pragma once

#include <QString>

#include <cstdint>

namespace zav {

// "%02d:%02d:%02d" of whole seconds as hours, minutes, seconds (hours are not capped);
// negative counts show as "00:00:00".
QString FormatElapsedTime(int64_t seconds);

// What the recordings list shows for a playing time: the whole seconds as FormatElapsedTime
// does, or kUnknownDuration when the time could not be read (a negative value).
inline const QString kUnknownDuration = QStringLiteral("--:--:--");
QString FormatDurationText(double seconds);

}  // namespace zav
