#pragma once
// Opening an address with the desktop's default handler: the help page in the browser, the
// downloaded installer with whatever the desktop runs it with. Tests put a stand-in in its
// place. UI thread only.

#include <QUrl>

#include <functional>

namespace zav {

// True when the desktop accepted the address.
using DesktopOpener = std::function<bool(const QUrl&)>;

// QDesktopServices::openUrl.
DesktopOpener DefaultDesktopOpener();

}  // namespace zav
