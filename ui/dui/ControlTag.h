#pragma once
// The integer tag that every control can carry (rows of lists are traced back through it).

#include <cstdint>

class QObject;

namespace zav {

void SetTag(QObject* control, intptr_t tag);
// 0 for a control that never got a tag (and for null).
intptr_t GetTag(const QObject* control);

}  // namespace zav
