#include "platform/x11/X11Clipboard.h"

#include "base/Log.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QSet>

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Properties.h"
#include "platform/x11/X11SelectionOwner.h"
#include "platform/x11/X11SelectionReader.h"

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

namespace {

// Targets that describe the transfer rather than carry data.
const QSet<QString>& metaTargets()
{
    static const QSet<QString> set{
        QStringLiteral("TARGETS"),         QStringLiteral("MULTIPLE"),         QStringLiteral("TIMESTAMP"),
        QStringLiteral("SAVE_TARGETS"),    QStringLiteral("DELETE"),           QStringLiteral("INSERT_PROPERTY"),
        QStringLiteral("INSERT_SELECTION"), QStringLiteral("ATOM_PAIR"),       QStringLiteral("INCR"),
        QStringLiteral("LENGTH"),          QStringLiteral("CLIENT_WINDOW"),    QStringLiteral("HOST_NAME"),
        QStringLiteral("USER"),            QStringLiteral("PROCESS"),          QStringLiteral("TASK"),
    };
    return set;
}

// Where plain text may be found, best first, and how it is encoded.
struct TextTarget {
    const char* name;
    bool utf8;
};
constexpr TextTarget kTextTargets[] = {
    {"UTF8_STRING", true}, {"text/plain;charset=utf-8", true}, {"text/plain", true}, {"STRING", false}};

QString modeName(QClipboard::Mode mode) { return mode == QClipboard::Selection ? QStringLiteral("PRIMARY") : QStringLiteral("CLIPBOARD"); }

} // namespace

X11Clipboard::X11Clipboard(QClipboard::Mode mode, std::shared_ptr<X11Connection> connection)
    : m_mode(mode)
    , m_connection(std::move(connection))
{
    m_probeTimer.setSingleShot(true);
    m_probeTimer.setInterval(int(X11SelectionReader::timeLimitMs));
    QObject::connect(&m_probeTimer, &QTimer::timeout, &m_context, [this] {
        if (m_probesOutstanding == 0) return;
        Log::write(QStringLiteral("%1 새 주인이 %2 ms 안에 답하지 않음").arg(modeName(m_mode)).arg(m_probeTimer.interval()));
        m_probesOutstanding = 0;
        ++m_changeCount;
    });

    if (!m_connection) {
        // Without X, QClipboard tells every change; our own writes were counted already.
        if (auto* clipboard = QGuiApplication::clipboard())
            QObject::connect(clipboard, &QClipboard::changed, &m_context, [this](QClipboard::Mode changed) {
                if (changed == m_mode && !m_writing) ++m_changeCount;
            });
        return;
    }

    Display* dpy = m_connection->display();
    m_selection = mode == QClipboard::Selection ? XA_PRIMARY : m_connection->atom("CLIPBOARD");
    m_reader = std::make_unique<X11SelectionReader>(m_connection, m_selection);
    m_owner = std::make_unique<X11SelectionOwner>(m_connection, m_selection);
    m_ownWindow = m_owner->window();
    m_probeProperty = m_connection->atom("SORELWICK_PROBE");
    XSetWindowAttributes attributes{};
    m_probeWindow = XCreateWindow(dpy, m_connection->root(), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent, 0,
                                  &attributes);
    int errorBase = 0;
    if (XFixesQueryExtension(dpy, &m_xfixesEventBase, &errorBase)) {
        XFixesSelectSelectionInput(dpy, m_connection->root(), m_selection,
                                   XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask
                                       | XFixesSelectionClientCloseNotifyMask);
    } else {
        m_xfixesEventBase = -1;
        Log::write(QStringLiteral("X 서버에 XFixes가 없어 %1 변화를 알 수 없음").arg(modeName(m_mode)));
    }
    XFlush(dpy);
    m_handler = m_connection->addHandler([this](XEvent& event) {
        if (m_xfixesEventBase >= 0 && event.type == m_xfixesEventBase + XFixesSelectionNotify) {
            const auto& e = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
            if (e.selection == m_selection) onOwnerChanged(e.owner, e.subtype);
        } else if (event.type == SelectionNotify && event.xselection.requestor == m_probeWindow) {
            XDeleteProperty(m_connection->display(), m_probeWindow, m_probeProperty);
            probeAnswered();
        }
    });
}

X11Clipboard::~X11Clipboard()
{
    if (!m_connection) return;
    m_owner.reset();
    m_connection->removeHandler(m_handler);
    XDestroyWindow(m_connection->display(), m_probeWindow);
    XFlush(m_connection->display());
}

void X11Clipboard::onOwnerChanged(unsigned long owner, int subtype)
{
    if (subtype == XFixesSetSelectionOwnerNotify) {
        if (owner != None && owner == m_ownWindow) return; // our write or clear, counted when made
    }
    m_own.reset();
    if (owner == None) {
        ++m_changeCount;
        return;
    }
    probe();
}

// The new owner's contents count once it answers a request for its targets: a reader that sees
// the count move then finds the new data.
void X11Clipboard::probe()
{
    ++m_probesOutstanding;
    XConvertSelection(m_connection->display(), m_selection, m_connection->atom("TARGETS"), m_probeProperty,
                      m_probeWindow, CurrentTime);
    XFlush(m_connection->display());
    m_probeTimer.start();
}

void X11Clipboard::probeAnswered()
{
    if (m_probesOutstanding == 0) return; // answered after its time-out
    if (--m_probesOutstanding > 0) return; // an earlier owner's answer
    m_probeTimer.stop();
    ++m_changeCount;
}

bool X11Clipboard::ownedByUs()
{
    if (!m_connection) return false;
    return m_own && XGetSelectionOwner(m_connection->display(), m_selection) == m_ownWindow;
}

QCoro::Task<QStringList> X11Clipboard::foreignTypes()
{
    const auto targets = co_await m_reader->targets();
    if (const auto* failure = std::get_if<X11SelectionReader::Failure>(&targets)) {
        m_lastReadLost = *failure != X11SelectionReader::Failure::noOwner && *failure != X11SelectionReader::Failure::refused;
        if (*failure != X11SelectionReader::Failure::noOwner)
            Log::write(QStringLiteral("%1 형식 목록을 읽지 못함: %2")
                           .arg(modeName(m_mode), QLatin1String(X11SelectionReader::describe(*failure))));
        co_return QStringList();
    }
    QStringList types;
    for (unsigned long atom : std::get<QList<unsigned long>>(targets)) {
        const QString name = m_connection->atomName(atom);
        if (!name.isEmpty() && !metaTargets().contains(name) && !types.contains(name)) types << name;
    }
    co_return types;
}

QCoro::Task<QList<QStringList>> X11Clipboard::itemTypes()
{
    m_lastReadLost = false;
    QStringList types;
    if (!m_connection) {
        if (const QMimeData* mime = QGuiApplication::clipboard()->mimeData(m_mode)) types = mime->formats();
    } else if (ownedByUs()) {
        for (const auto& [type, bytes] : *m_own) types << type;
    } else {
        types = co_await foreignTypes();
    }
    if (types.isEmpty()) co_return QList<QStringList>();
    co_return QList<QStringList>{types};
}

QCoro::Task<std::optional<QByteArray>> X11Clipboard::data(qsizetype item, QString type)
{
    m_lastReadLost = false;
    if (item != 0) co_return std::nullopt;
    if (!m_connection) {
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData(m_mode);
        if (!mime || !mime->hasFormat(type)) co_return std::nullopt;
        co_return mime->data(type);
    }
    if (ownedByUs()) {
        for (const auto& [t, bytes] : *m_own)
            if (t == type) co_return bytes;
        co_return std::nullopt;
    }
    const unsigned long owner = XGetSelectionOwner(m_connection->display(), m_selection);
    if (m_silentOwner == std::make_pair(owner, m_changeCount)) {
        Log::write(QStringLiteral("%1의 %2 형식을 건너뜀: 주인이 앞서 응답하지 않음").arg(modeName(m_mode), type));
        m_lastReadLost = true;
        co_return std::nullopt;
    }
    const X11SelectionReader::Result result = co_await m_reader->read(m_connection->atom(type.toLatin1().constData()));
    if (const auto* failure = std::get_if<X11SelectionReader::Failure>(&result)) {
        if (*failure == X11SelectionReader::Failure::timedOut) m_silentOwner = std::make_pair(owner, m_changeCount);
        m_lastReadLost = *failure != X11SelectionReader::Failure::noOwner && *failure != X11SelectionReader::Failure::refused;
        if (*failure != X11SelectionReader::Failure::noOwner && *failure != X11SelectionReader::Failure::refused)
            Log::write(QStringLiteral("%1의 %2 형식을 건너뜀: %3")
                           .arg(modeName(m_mode), type, QLatin1String(X11SelectionReader::describe(*failure))));
        co_return std::nullopt;
    }
    co_return std::get<QByteArray>(result);
}

QCoro::Task<std::optional<QString>> X11Clipboard::string()
{
    if (!m_connection) {
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData(m_mode);
        if (!mime || !mime->hasText()) co_return std::nullopt;
        co_return mime->text();
    }
    const QList<QStringList> items = co_await itemTypes();
    if (items.isEmpty()) co_return std::nullopt;
    for (const TextTarget& t : kTextTargets) {
        const QString name = QLatin1String(t.name);
        if (!items.first().contains(name)) continue;
        const std::optional<QByteArray> bytes = co_await data(0, name);
        if (bytes) co_return t.utf8 ? QString::fromUtf8(*bytes) : QString::fromLatin1(*bytes);
    }
    co_return std::nullopt;
}

std::optional<Pid> X11Clipboard::ownerPid()
{
    if (!m_connection) return std::nullopt;
    const Window owner = XGetSelectionOwner(m_connection->display(), m_selection);
    if (owner == None) return std::nullopt;
    return X11Properties::clientPid(*m_connection, owner);
}

std::optional<QList<std::optional<Pid>>> X11Clipboard::textReaders()
{
    if (!m_connection) return std::nullopt;
    if (!ownedByUs()) return QList<std::optional<Pid>>{};
    return m_owner->textReaders();
}

bool X11Clipboard::handToManager()
{
    if (!m_connection || !ownedByUs() || m_own->isEmpty()) return true;
    switch (m_owner->handToManager(handOverLimitMs)) {
    case X11SelectionOwner::HandOver::nothingHeld: return true;
    case X11SelectionOwner::HandOver::saved:
        Log::write(QStringLiteral("%1 내용을 클립보드 관리자에게 넘김").arg(modeName(m_mode)));
        return true;
    case X11SelectionOwner::HandOver::noManager:
        if (!m_toldNoManager)
            Log::write(QStringLiteral("클립보드 관리자가 없어 소렐이 끝나면 %1 내용이 사라짐").arg(modeName(m_mode)));
        m_toldNoManager = true;
        return false;
    case X11SelectionOwner::HandOver::refused:
        Log::write(QStringLiteral("클립보드 관리자가 %1 내용을 받지 않음").arg(modeName(m_mode)));
        return false;
    case X11SelectionOwner::HandOver::timedOut:
        Log::write(QStringLiteral("클립보드 관리자가 %1 ms 안에 %2 내용을 다 받지 못함").arg(handOverLimitMs).arg(modeName(m_mode)));
        return false;
    }
    return false;
}

qint64 X11Clipboard::clearContents()
{
    m_own.reset();
    if (!m_connection) {
        m_writing = true;
        QGuiApplication::clipboard()->clear(m_mode);
        m_writing = false;
    } else if (XGetSelectionOwner(m_connection->display(), m_selection) != None) {
        // We hold it, empty, rather than hand it to nobody: a clear comes just before a write, and
        // an application that pastes in between from a selection without owner may crash (Qt 6.4
        // text fields do).
        if (m_owner->own(PasteboardItem{})) m_own = PasteboardItem{};
        XFlush(m_connection->display());
    }
    return ++m_changeCount;
}

bool X11Clipboard::writeObjects(const QList<PasteboardItem>& items)
{
    if (items.isEmpty()) return false;
    // One item per selection: later items add the types the first lacks.
    PasteboardItem merged = items.first();
    for (qsizetype i = 1; i < items.size(); ++i)
        for (const auto& pair : items[i])
            if (std::none_of(merged.begin(), merged.end(), [&](const auto& p) { return p.first == pair.first; }))
                merged.append(pair);
    if (items.size() > 1) Log::write(QStringLiteral("%1에는 항목이 하나뿐이라 %2개를 하나로 합침").arg(modeName(m_mode)).arg(items.size()));
    return write(merged);
}

bool X11Clipboard::setString(const QString& text)
{
    PasteboardItem item = ownedByUs() || !m_connection ? m_own.value_or(PasteboardItem{}) : PasteboardItem{};
    item.removeIf([](const auto& pair) { return pair.first == stringType; });
    item.append({stringType, text.toUtf8()});
    return write(item);
}

bool X11Clipboard::write(const PasteboardItem& given)
{
    PasteboardItem item = given;
    const auto has = [&](const QString& type) {
        return std::any_of(item.begin(), item.end(), [&](const auto& p) { return p.first == type; });
    };
    // KDE's clipboard history keeps nothing marked secret.
    if (has(transientType) && !has(passwordManagerHintType)) item.append({passwordManagerHintType, QByteArrayLiteral("secret")});

    if (m_connection) {
        if (!m_owner->own(item)) return false;
    } else {
        auto* mime = new QMimeData;
        for (const auto& [type, bytes] : item) mime->setData(type, bytes);
        m_writing = true;
        QGuiApplication::clipboard()->setMimeData(mime, m_mode);
        m_writing = false;
    }
    m_own = item;
    ++m_changeCount;
    return true;
}
