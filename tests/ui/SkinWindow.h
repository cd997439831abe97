#pragma once
// A bare window built from one skin file, with the program's own drawn controls, for tests
// that look at every control of a skin (focus rings, text fit).

#include <QString>

#include "dui/WindowImplBase.h"
#include "levels/LevelMeterUI.h"
#include "timeline/PaintViewUI.h"

namespace zav::test {

class SkinWindow : public WindowImplBase {
 public:
  explicit SkinWindow(QString skin) : skin_(std::move(skin)) {}

 protected:
  QString GetSkinFile() override { return skin_; }
  QWidget* CreateControl(const QString& className, QWidget* parent) override {
    if (QWidget* view = CPaintViewUI::CreateForSkin(className, this, parent)) return view;
    return CLevelMeterUI::CreateForSkin(className, parent);
  }

 private:
  QString skin_;
};

}  // namespace zav::test
