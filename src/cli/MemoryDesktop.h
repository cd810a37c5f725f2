#pragma once

#include "platform/Accessibility.h"
#include "platform/KeyPoster.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"
#include "platform/Clock.h"

#include <QList>
#include <QMap>
#include <QSet>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class MemoryPasteboard;

// The in-memory desktop of the command line (and of the tests): editors that hold their text in
// memory, the clipboard, the accessibility interface that reads and writes them, and the keys.

// Another application with one text field that has the focus: its text, its selection and where
// the text lies on screen. Its quirks are switches, so that each way a real application can let
// the core down is one line in a test.
class MemoryApplication {
public:
    MemoryApplication(Pid pid, std::optional<QString> desktopId);

    Pid pid() const { return m_pid; }
    const std::optional<QString>& desktopId() const { return m_desktopId; }
    RunningApplication running() const { return {m_pid, m_desktopId, std::nullopt}; }

    QString text;
    TextRange selection;
    // Screen rectangle of a range (top-left global coordinates); by default a line of 10-point
    // wide characters at (100, 200). Absent means the application cannot tell.
    std::function<std::optional<QRectF>(TextRange)> boundsForRange;

    // Accessibility quirks.
    bool hasAccessibleFocus = true;              // false: no focused element at all
    bool answersSystemWideFocus = true;          // false: only the application element knows it
    QMap<QString, AXResult<AXValue>> readOverrides; // attribute → fixed answer (errors, wrong types)
    // The focus events it sends of itself: the last one's word (none sent yet: absent), and the
    // numbers, among all applications' focus events, of its last one and its last loss.
    std::optional<bool> reportedFocus;
    quint64 lastReport = 0, lastLoss = 0;
    static inline quint64 focusEvents = 0; // sent by any application
    QSet<QString> ignoredWrites;                 // writes report success and change nothing
    int attributeWrites = 0;

    // Keyboard behaviour: the copy and paste chords the workspace names for it do what they say.
    bool copiesOnCopyChord = true;
    bool pastesOnPasteChord = true;
    static constexpr qint64 copyDelayMs = 40; // how long the application takes to answer its copy chord
    qint64 pasteDelayMs = 30; // when it reads the clipboard after its paste chord
    QList<QPair<quint16, quint64>> keysReceived; // key-downs posted to this process
    int interrupts = 0; // plain Ctrl+C reaching a terminal: what runs there would be stopped

    QString selectedText() const;
    // Loses or takes back the focus and says so in a focus event.
    void reportFocus(bool focused);
    // Types text over the selection and leaves the caret after it.
    void replaceSelection(const QString& replacement);
    void copySelection(MemoryPasteboard& pasteboard);
    void pasteFrom(MemoryPasteboard& pasteboard);

private:
    Pid m_pid;
    std::optional<QString> m_desktopId;
};

class MemoryWorkspace : public Workspace {
public:
    MemoryWorkspace(Pid ownPid = 4242, std::optional<QString> ownIdentifier = QStringLiteral("sorelwick"));

    std::shared_ptr<MemoryApplication> addApplication(Pid pid, std::optional<QString> identifier);
    std::shared_ptr<MemoryApplication> application(Pid pid) const;
    // Brings an application (or this program, with ownPid()) to the front and tells the observers.
    void activate(Pid pid);
    // No application in front (e.g. the desktop has the focus).
    void clearFrontmost();
    std::shared_ptr<MemoryApplication> frontmost() const;

    std::optional<RunningApplication> frontmostApplication() override;
    // The simulated applications have no windows on a screen.
    std::optional<FrontWindow> frontmostWindow() override { return std::nullopt; }
    Pid ownPid() override { return m_ownPid; }
    std::optional<QString> ownDesktopId() override { return m_ownIdentifier; }
    ObserverHandle observeActivation(ActivationObserver observer) override;
    void removeObserver(ObserverHandle handle) override;
    qsizetype observerCount() const { return qsizetype(m_observers.size()); }

private:
    Pid m_ownPid;
    std::optional<QString> m_ownIdentifier;
    std::optional<Pid> m_frontmost;
    std::map<Pid, std::shared_ptr<MemoryApplication>> m_apps;
    std::map<ObserverHandle, ActivationObserver> m_observers;
    ObserverHandle m_nextHandle = 1;
};

// The clipboard. Every clear and every write counts as a change. Clears and writes through the
// Pasteboard interface are this program's; another program's paste reads through stringFor(),
// which notes who asked.
class MemoryPasteboard : public Pasteboard {
public:
    std::optional<Pid> ownerPid() override { return owner; }
    qint64 changeCount() override { return m_changeCount; }
    QCoro::Task<QList<QStringList>> itemTypes() override { co_return types(); }
    QCoro::Task<std::optional<QByteArray>> data(qsizetype item, QString type) override { co_return held(item, type); }
    // Held in memory, whole: nothing is ever too large to be taken.
    bool lastReadLost() override { return false; }
    QCoro::Task<std::optional<QString>> string() override { co_return text(); }

    // The same reads, answered at once.
    QList<QStringList> types() const;
    virtual std::optional<QByteArray> held(qsizetype item, const QString& type);
    std::optional<QString> text();
    qint64 clearContents() override;
    bool writeObjects(const QList<PasteboardItem>& items) override;
    bool setString(const QString& text) override;
    std::optional<QList<std::optional<Pid>>> textReaders() override;

    const QList<PasteboardItem>& items() const { return m_items; }
    // Another program takes the clipboard and puts these items on it.
    void writeFromOtherProgram(const QList<PasteboardItem>& items);
    void writeStringFromOtherProgram(const QString& text);
    // Another program reads the text, as its paste does.
    std::optional<QString> stringFor(Pid reader);

    std::optional<Pid> owner; // who holds the contents, as scripted

private:
    QList<PasteboardItem> m_items;
    qint64 m_changeCount = 1;
    bool m_ours = false; // the contents are this program's
    QList<std::optional<Pid>> m_readers;
};

// Reads and writes the in-memory applications of a workspace.
class MemoryAccessibility : public Accessibility {
public:
    explicit MemoryAccessibility(std::shared_ptr<MemoryWorkspace> workspace);

    bool trusted = true;
    int promptCount = 0;
    // An application whose focus the system-wide element still names while another one is in
    // front: the last focus event came from it (AT-SPI hears no focus loss from a Qt window that
    // is deactivated). Its element answers only while it has a focused text.
    std::weak_ptr<MemoryApplication> backgroundFocus;

    bool isProcessTrusted(bool prompt = false) override;
    AXElementRef systemWide() override;
    AXElementRef application(Pid pid) override;
    AXResult<Pid> processIdentifier(const AXElementRef& element) override;
    AXResult<AXValue> copyAttributeValue(const AXElementRef& element, const QString& attribute) override;
    AXResult<AXValue> copyParameterizedAttributeValue(const AXElementRef& element, const QString& attribute,
                                                      const AXValue& parameter) override;
    AXError setAttributeValue(const AXElementRef& element, const QString& attribute,
                              const AXValue& value) override;
    quint64 focusEventMark() override { return MemoryApplication::focusEvents; }
    FocusReports focusReportsSince(const AXElementRef& element, quint64 mark) override;
    // Looks for the event at each millisecond of the platform's clock.
    QCoro::Task<std::optional<bool>> nextFocusReport(AXElementRef element, qint64 timeoutMs) override;

    // The application behind an element that this service handed out; null for others.
    static std::shared_ptr<MemoryApplication> owner(const AXElementRef& element);

private:
    std::shared_ptr<MemoryWorkspace> m_workspace;
};

// Key posting against the in-memory desktop. The modifier state is scripted; the copy and paste
// chords of the frontmost application (PRIMARY for a paste chord that pastes it) reach the
// frontmost application, which copies or pastes after its own delay.
class MemoryKeyPoster : public KeyPoster {
public:
    struct Posted {
        quint16 keyCode;
        quint64 flags;
        bool keyDown;
        std::optional<Pid> pid; // set for posts to one process
        qint64 atMs;
    };

    MemoryKeyPoster(std::shared_ptr<Clock> clock, std::shared_ptr<MemoryWorkspace> workspace,
                    std::shared_ptr<MemoryPasteboard> pasteboard, std::shared_ptr<MemoryPasteboard> primary);

    // The user holds these modifiers for ms from now, or until release when ms is absent.
    void holdModifiers(quint64 flags, std::optional<qint64> ms = std::nullopt);
    void releaseModifiers() { m_held = 0; }

    quint64 combinedModifierFlags() override;
    bool postKeyEvent(quint16 keyCode, quint64 flags, bool keyDown) override;
    bool postKeyDown(Pid pid, quint16 keyCode, quint64 flags, quint32 nativeKey = 0) override;

    const QList<Posted>& posted() const { return m_posted; }
    void clearPosted() { m_posted.clear(); }

private:
    std::shared_ptr<Clock> m_clock;
    std::shared_ptr<MemoryWorkspace> m_workspace;
    std::shared_ptr<MemoryPasteboard> m_pasteboard;
    std::shared_ptr<MemoryPasteboard> m_primary;
    quint64 m_held = 0;
    std::optional<qint64> m_heldUntil;
    QList<Posted> m_posted;
    std::vector<std::unique_ptr<Clock::Pending>> m_reactions; // copies and pastes still to come
};
