#include "core/HotKey.h"

#include "platform/Platform.h"

std::map<quint32, HotKey*> HotKey::s_registry;
quint32 HotKey::s_nextId = 1;
std::weak_ptr<HotKeyService> HotKey::s_handlerService;

HotKey::HotKey(const Shortcut& shortcut, std::function<void()> handler)
    : m_service(Platform::shared().hotKeys)
    , m_handler(std::move(handler))
    , m_id(s_nextId++)
{
    installHandlerOnce(m_service);
    const auto registration = m_service->registerHotKey(shortcut.keyCode, shortcut.carbonModifiers(), m_id);
    m_status = registration.status;
    if (m_status == HotKeyService::noErr) {
        m_ref = registration.ref;
        s_registry[m_id] = this;
    }
}

HotKey::~HotKey()
{
    if (m_ref) m_service->unregisterHotKey(*m_ref);
    s_registry.erase(m_id);
}

void HotKey::installHandlerOnce(const std::shared_ptr<HotKeyService>& service)
{
    // Once per service: a process has one; tests install a fresh fake now and then.
    if (s_handlerService.lock() == service) return;
    s_handlerService = service;
    service->installEventHandler(&HotKey::dispatch);
}

void HotKey::dispatch(quint32 id)
{
    const auto it = s_registry.find(id);
    if (it == s_registry.end()) return;
    // A copy: the handler may release this very hot key.
    const auto handler = it->second->m_handler;
    if (handler) handler();
}
