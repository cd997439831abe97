#include "ControlTag.h"

#include <QObject>
#include <QVariant>

namespace zav {

namespace {
constexpr char kTagProperty[] = "zavTag";
}

void SetTag(QObject* control, intptr_t tag) {
  if (control) control->setProperty(kTagProperty, QVariant::fromValue<qlonglong>(tag));
}

intptr_t GetTag(const QObject* control) {
  if (!control) return 0;
  return static_cast<intptr_t>(control->property(kTagProperty).toLongLong());
}

}  // namespace zav
