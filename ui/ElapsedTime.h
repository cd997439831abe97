#pragma once

#include <QString>

#include <cstdint>

namespace zav {

// "%02d:%02d:%02d" of whole seconds as hours, minutes, seconds (hours are not capped);
// negative counts show as "00:00:00".
QString FormatElapsedTime(int64_t seconds);

}  // namespace zav
