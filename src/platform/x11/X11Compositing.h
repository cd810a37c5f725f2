#pragma once

// Whether a compositing manager runs on the application's X screen (it owns the selection
// _NET_WM_CM_S<screen>): only then does a window's alpha channel blend with what lies behind it;
// without one, transparent pixels show black. True where the application has no X display
// (on Wayland the display server composites every surface).
namespace X11Compositing {
bool active();
}
