#pragma once
// Opening an address with the desktop's default handler: the help page in the browser, the
// downloaded installer with whatever the desktop runs it with; and showing a file in its
// folder. Tests put stand-ins in their place. UI thread only.

#include <QUrl>

#include <functional>

namespace zav {

// True when the desktop accepted the address.
using DesktopOpener = std::function<bool(const QUrl&)>;

// QDesktopServices::openUrl.
DesktopOpener DefaultDesktopOpener();

// Shows a file in its folder (the file manager, with the file selected where it can).
using FileShower = std::function<void(const QString& path)>;

// Opens the folder that holds the file with QDesktopServices.
FileShower DefaultFileShower();

}  // namespace zav
