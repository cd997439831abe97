#pragma once
// What the main window asks of the desktop: open a file or an address with the desktop's
// default handler, and show a file in the file manager. Tests put a recorder of the requests
// in place of the desktop.

#include <QString>
#include <QUrl>

#include <string_view>

namespace zav {

class DesktopShell {
 public:
  virtual ~DesktopShell() = default;
  // Opens url with the desktop's default handler (a file plays in its player). Never waits.
  // True when the desktop took it.
  virtual bool Open(const QUrl& url) = 0;
  // Shows the file (a file: URL) selected in the file manager (the FileManager1 D-Bus
  // service), or opens its folder when no file manager answers. Never waits.
  virtual void ShowInFileManager(const QUrl& file) = 0;
};

// The file: URL of an absolute path given as bytes. Every byte is kept (percent-encoded
// where needed), also in a name that is not UTF-8, which a QString path would not keep.
QUrl LocalFileUrl(std::string_view path);

// The user's desktop.
DesktopShell& SystemDesktopShell();

}  // namespace zav
