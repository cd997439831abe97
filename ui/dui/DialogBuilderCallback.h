#pragma once

class QString;
class QWidget;

namespace zav {

// Asked for every skin element whose class neither Qt nor the layer knows.
class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  // A new control of className under parent, or nullptr when the name is not ours.
  virtual QWidget* CreateControl(const QString& className, QWidget* parent) = 0;
};

}  // namespace zav
