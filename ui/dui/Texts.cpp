#include "Texts.h"

#include <QCoreApplication>

namespace zav {

QString Tr(const QString& source) { return QCoreApplication::translate(kTextContext, source.toUtf8().constData()); }

QString Tr(std::string_view sourceUtf8) {
  return QCoreApplication::translate(kTextContext, std::string(sourceUtf8).c_str());
}

}  // namespace zav
