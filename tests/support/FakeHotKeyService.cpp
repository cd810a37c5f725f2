#include "support/FakeHotKeyService.h"

void FakeHotKeyService::installEventHandler(Dispatch dispatch)
{
    m_dispatch = std::move(dispatch);
}

HotKeyService::Registration FakeHotKeyService::registerHotKey(quint32 keyCode, quint32 carbonModifiers,
                                                              quint32 id)
{
    const Combination combination{keyCode, carbonModifiers};
    if (takenByOthers.contains(combination)) return {eventHotKeyExistsErr, 0};
    if (isRegistered(keyCode, carbonModifiers)) return {eventHotKeyExistsErr, 0};
    const quint64 ref = m_nextRef++;
    m_registered.emplace(ref, Entry{combination, id});
    return {noErr, ref};
}

void FakeHotKeyService::unregisterHotKey(quint64 ref) { m_registered.erase(ref); }

bool FakeHotKeyService::press(quint32 keyCode, quint32 carbonModifiers)
{
    for (const auto& [ref, entry] : m_registered) {
        if (entry.combination == Combination{keyCode, carbonModifiers}) {
            if (m_dispatch) m_dispatch(entry.id);
            return true;
        }
    }
    return false;
}

bool FakeHotKeyService::isRegistered(quint32 keyCode, quint32 carbonModifiers) const
{
    for (const auto& [ref, entry] : m_registered)
        if (entry.combination == Combination{keyCode, carbonModifiers}) return true;
    return false;
}
