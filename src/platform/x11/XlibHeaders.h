#pragma once

// Xlib and the extensions we use. Include after Qt's headers: Xlib defines None, Bool, Status
// and friends as macros. X calls its key code type KeyCode, which is the name of the core's key
// code namespace, so X's type is spelled XKeyCode here.
#define KeyCode XKeyCode
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>
#undef KeyCode
