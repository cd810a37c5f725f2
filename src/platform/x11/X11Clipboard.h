#pragma once

#include "platform/Pasteboard.h"

#include <QClipboard>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <utility>

class X11Connection;
class X11SelectionOwner;
class X11SelectionReader;

// A selection (CLIPBOARD, or PRIMARY for terminals) as a Pasteboard. X11 has one item per
// selection. Reads go to the owner on our own connection, byte for byte, each bounded in time
// and size; what we write is held and served on that connection too. The change count follows
// XFixes: it grows for another program's ownership once that program answers, and at once for
// our own clears and writes. Where there is no X display (a Wayland session without XWayland)
// QClipboard does all of it.
class X11Clipboard : public Pasteboard {
public:
    // Types an item carries when clipboard histories are to leave it alone.
    static inline const QString transientType = QStringLiteral("org.nspasteboard.TransientType");
    static inline const QString passwordManagerHintType = QStringLiteral("x-kde-passwordManagerHint");

    // mode is QClipboard::Clipboard or QClipboard::Selection (PRIMARY); connection may be null.
    X11Clipboard(QClipboard::Mode mode, std::shared_ptr<X11Connection> connection);
    ~X11Clipboard() override;

    qint64 changeCount() override { return m_changeCount; }
    QCoro::Task<QList<QStringList>> itemTypes() override;
    QCoro::Task<std::optional<QByteArray>> data(qsizetype item, QString type) override;
    bool lastReadLost() override { return m_lastReadLost; }
    QCoro::Task<std::optional<QString>> string() override;
    std::optional<Pid> ownerPid() override;
    qint64 clearContents() override;
    bool writeObjects(const QList<PasteboardItem>& items) override;
    bool setString(const QString& text) override;
    // Seen by our selection owner; QClipboard alone does not tell.
    std::optional<QList<std::optional<Pid>>> textReaders() override;

    // Before this program leaves: what it holds goes to the desktop's clipboard manager, so the
    // user's clipboard outlives it. Waits for the manager at most handOverLimitMs; without a
    // manager that is logged, once. True when nothing is lost.
    bool handToManager();
    static constexpr qint64 handOverLimitMs = 3000;

private:
    bool ownedByUs();
    QCoro::Task<QStringList> foreignTypes();
    void onOwnerChanged(unsigned long owner, int subtype);
    void probe();
    void probeAnswered();
    bool write(const PasteboardItem& item);

    QClipboard::Mode m_mode;
    std::shared_ptr<X11Connection> m_connection;
    std::unique_ptr<X11SelectionReader> m_reader;
    std::unique_ptr<X11SelectionOwner> m_owner;
    unsigned long m_selection = 0;
    int m_handler = 0;
    int m_xfixesEventBase = -1;

    qint64 m_changeCount = 1;
    std::optional<PasteboardItem> m_own; // what we wrote, while we own the selection
    unsigned long m_ownWindow = 0; // our selection owner window
    // An owner that let a read time out, and the change count then: its other formats are not
    // waited for again (a snapshot reads them one after another, each with its own limit).
    std::optional<std::pair<unsigned long, qint64>> m_silentOwner;

    // Waiting for a new owner to answer before the change counts.
    unsigned long m_probeWindow = 0;
    unsigned long m_probeProperty = 0;
    int m_probesOutstanding = 0;
    QTimer m_probeTimer;
    QObject m_context;
    bool m_writing = false;
    bool m_lastReadLost = false;
    bool m_toldNoManager = false;
};
