#pragma once
// CDialogBuilder: builds a row template (or any partial skin) for a window's lists.

#include <QString>

class QWidget;

namespace zav {

class IDialogBuilderCallback;
class WindowImplBase;

class CDialogBuilder {
 public:
  // Builds skinFile from the skin folder. Unknown control classes go to callback (may be
  // null); the controls' notifications go to manager (may be null). The result has no parent
  // until the caller adds it to a list. nullptr when the file is missing or broken.
  QWidget* Create(const QString& skinFile, IDialogBuilderCallback* callback = nullptr,
                  WindowImplBase* manager = nullptr);

  const QString& LastError() const { return lastError_; }

 private:
  QString lastError_;
};

// A named control inside a row or any other container, or nullptr.
QWidget* FindSubControl(QWidget* container, const QString& name);

}  // namespace zav
