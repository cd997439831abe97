#pragma once
// The tray menu as the desktop's panel draws it. A Wayland client cannot put a window of its
// own at a point of the screen, nor learn where the pointer is, so there the icon hands its
// menu to the panel (a DBusMenu behind the StatusNotifierItem) instead of opening the skinned
// CMainTaskMenu at the cursor. Same entries, texts and order as the skin "MainTaskMenu.xml",
// and the same commands posted to the owner.


#include <memory>

class QMenu;

namespace zav {

class WindowImplBase;

// The menu, or nullptr when the skin cannot be read. owner may go before the menu.
std::unique_ptr<QMenu> BuildHostMenu(WindowImplBase* owner);

}  // namespace zav
