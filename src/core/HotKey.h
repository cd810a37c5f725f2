#pragma once

#include "core/Shortcut.h"
#include "platform/HotKeyService.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>

// One combination registered as a system-wide hot key for as long as this object lives.
class HotKey {
public:
    // Identifies our registrations to the hot-key service ("SRWK").
    static constexpr quint32 signature = 0x5352574B;

    // Registers at once; status() tells whether it worked.
    HotKey(const Shortcut& shortcut, std::function<void()> handler);
    ~HotKey();
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    quint32 id() const { return m_id; }
    qint32 status() const { return m_status; }

private:
    static void installHandlerOnce(const std::shared_ptr<HotKeyService>& service);
    static void dispatch(quint32 id);

    std::shared_ptr<HotKeyService> m_service;
    std::optional<quint64> m_ref;
    std::function<void()> m_handler;
    quint32 m_id;
    qint32 m_status = HotKeyService::eventHotKeyInvalidErr;

    // Only registered hot keys, not owned: the owner's reference is the one that counts.
    static std::map<quint32, HotKey*> s_registry;
    static quint32 s_nextId;
    static std::weak_ptr<HotKeyService> s_handlerService;
};
