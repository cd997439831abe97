#pragma once
// The program's own texts go through translation. Their Chinese source texts are marked where
// they are written, with QT_TRANSLATE_NOOP("Zav", "...") so that lupdate finds them, and
// translated where they are shown, with Tr. The skins' texts are translated by the skin loader
// itself (the context is each skin's class). Without a translation, Tr gives the source text.

#include <QString>

#include <string_view>

namespace zav {

inline constexpr char kTextContext[] = "Zav";

// The shown text of a source text marked in context "Zav".
QString Tr(const QString& source);
QString Tr(std::string_view sourceUtf8);

}  // namespace zav
