#pragma once

#include "platform/HotKeyService.h"

#include <QList>
#include <QSet>

#include <map>
#include <memory>
#include <optional>
#include <utility>

// Hot keys without a display. Combinations in takenByOthers are refused as another program's.
class FakeHotKeyService : public HotKeyService {
public:
    using Combination = std::pair<quint32, quint32>; // key code, hot-key modifiers

    void installEventHandler(Dispatch dispatch) override;
    Registration registerHotKey(quint32 keyCode, quint32 carbonModifiers, quint32 id) override;
    void unregisterHotKey(quint64 ref) override;
    bool keyHeld() override { return keyDown; }
    DesktopRoute desktopRoute() const override { return route; }

    // The user presses a combination; true when a registered hot key received it.
    bool press(quint32 keyCode, quint32 carbonModifiers);
    bool isRegistered(quint32 keyCode, quint32 carbonModifiers) const;
    qsizetype registeredCount() const { return qsizetype(m_registered.size()); }

    QSet<Combination> takenByOthers;
    bool keyDown = false; // the user still holds the shortcut's key
    DesktopRoute route = DesktopRoute::none;

private:
    struct Entry {
        Combination combination;
        quint32 id;
    };
    Dispatch m_dispatch;
    std::map<quint64, Entry> m_registered; // by ref
    quint64 m_nextRef = 1;
};
