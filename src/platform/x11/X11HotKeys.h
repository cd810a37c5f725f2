#pragma once

#include "platform/HotKeyService.h"

#include <QAbstractNativeEventFilter>

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class X11Keymap;
struct xcb_connection_t;

// Hot keys as passive key grabs on the root window of every screen of the display (a press
// reaches only the grab of the screen it is typed on), made on Qt's own X connection so that the
// presses reach Qt's native event filter. Each combination is grabbed four times, with and
// without Caps Lock and Num Lock, so that a lit lock key does not hide the press. The grabs move
// with the keyboard mapping.
class X11HotKeys : public HotKeyService, public QAbstractNativeEventFilter {
public:
    explicit X11HotKeys(std::shared_ptr<X11Keymap> keymap);
    ~X11HotKeys() override;

    void installEventHandler(Dispatch dispatch) override;
    Registration registerHotKey(quint32 keyCode, quint32 carbonModifiers, quint32 id) override;
    void unregisterHotKey(quint64 ref) override;
    bool keyHeld() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        quint32 ansiCode;
        unsigned int mask; // Shift, Control, Mod1, Mod4
        quint32 id;
        std::optional<unsigned char> keycode; // grabbed now
        unsigned int numLock = 0; // Num Lock's modifier when it was grabbed
    };
    // The status of grabbing grab's key in all four lock variants; on failure nothing stays grabbed.
    qint32 grab(Grab& grab);
    void ungrab(Grab& grab);
    void regrabAll();
    // Whether a press of a hot key's keycode is the keyboard repeating a held key, not a new press.
    bool repeats(unsigned char keycode, quint32 time) const;

    std::shared_ptr<X11Keymap> m_keymap;
    xcb_connection_t* m_connection = nullptr; // Qt's; null when Qt does not run on X11
    std::vector<unsigned int> m_roots; // one a screen
    int m_keymapListener = 0;
    Dispatch m_dispatch;
    std::map<quint64, Grab> m_grabs; // by ref
    quint64 m_nextRef = 1;
    std::optional<unsigned char> m_held; // a hot key's keycode pressed and not let go
    quint32 m_lastPress = 0; // server time of its last press or repeat
    std::optional<std::pair<unsigned char, quint32>> m_lastRelease; // keycode, time
};
