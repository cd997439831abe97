#include "NativeEventHook.h"

#include <QCoreApplication>

namespace zav {

NativeEventHook::NativeEventHook(Handler handler) : handler_(std::move(handler)) {
  if (auto* app = QCoreApplication::instance()) app->installNativeEventFilter(this);
}

NativeEventHook::~NativeEventHook() {
  if (auto* app = QCoreApplication::instance()) app->removeNativeEventFilter(this);
}

bool NativeEventHook::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  return handler_ && handler_(eventType, message);
}

}  // namespace zav
