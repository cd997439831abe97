#pragma once
// The common way every dialog is shown: created owned by the caller's window, centred on it
// and run modally. The dialog deletes itself; the caller never deletes it.

#include <QString>

class QWidget;

namespace zav {

class WindowImplBase;

// Returns the dialog's modal result, or -1 when its skin could not be built.
int ShowDialog(WindowImplBase* dialog, QWidget* owner, const QString& caption = {});

}  // namespace zav
