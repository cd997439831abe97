#pragma once
// Whether the windows of the running platform can be seen through where their pixels are
// transparent, which a shadow window needs.

#include <QStringView>

namespace zav {

// Wayland composes every window; on X11 only a running compositing manager blends windows,
// without one transparent pixels show black. Other platforms (offscreen, framebuffers) keep
// opaque window surfaces.
bool PlatformShowsPerPixelAlpha(QStringView platformName, bool x11CompositorRunning);

// The answer for the application's own platform; on X11 it asks the X server whether a
// compositing manager owns the screen's _NET_WM_CM_S<n> selection. Needs the application object.
bool ThisPlatformShowsPerPixelAlpha();

// Whether a shadow, a window of its own, can be shown beside the window it shadows: windows
// are seen through, and the program places its windows itself. On Wayland the compositor
// places every top-level window wherever it likes, so there the boxes have no shadow.
bool ThisPlatformShowsShadowWindows();

}  // namespace zav
