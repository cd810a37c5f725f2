#pragma once

#include "cli/MemoryDesktop.h"

#include <QMap>
#include <QSet>

#include <memory>
#include <vector>

// Faults of other applications that tests script on the in-memory desktop; the command line's
// desktop has none of them.

// How an application lets an accessibility write down, by attribute.
struct WriteFaults {
    QMap<QString, AXError> refused; // every write fails with this error, changing nothing
    QMap<QString, AXError> late;    // writes take effect, yet report this error (a time-out)
    QSet<QString> half;             // writes delete the selection, insert nothing, report an error
};

class FaultyAccessibility : public MemoryAccessibility {
public:
    using MemoryAccessibility::MemoryAccessibility;
    QMap<Pid, WriteFaults> faults;

    AXError setAttributeValue(const AXElementRef& element, const QString& attribute, const AXValue& value) override;
};

// A clipboard whose owner offers types it then does not deliver: refused, or held but too large
// to be taken.
class FaultyPasteboard : public MemoryPasteboard {
public:
    QSet<QString> unreadableTypes;
    QSet<QString> untakeableTypes;
    std::optional<QByteArray> held(qsizetype item, const QString& type) override;
    bool lastReadLost() override { return m_lastReadLost; }

private:
    bool m_lastReadLost = false;
};

// Applications that answer their copy chord late (ms after the keystroke), and ones that synthetic
// keys never reach (native Wayland windows, for XTEST), by PID.
class SlowCopyKeyPoster : public MemoryKeyPoster {
public:
    SlowCopyKeyPoster(std::shared_ptr<Clock> clock, std::shared_ptr<MemoryWorkspace> workspace,
                      std::shared_ptr<MemoryPasteboard> pasteboard, std::shared_ptr<MemoryPasteboard> primary);
    QMap<Pid, qint64> copyDelayMs;
    QSet<Pid> unreachable;

    bool postKeyEvent(quint16 keyCode, quint64 flags, bool keyDown) override;
    bool reachesFront() override;

private:
    std::shared_ptr<Clock> m_clock;
    std::shared_ptr<MemoryWorkspace> m_workspace;
    std::shared_ptr<MemoryPasteboard> m_pasteboard;
    std::vector<std::unique_ptr<Clock::Pending>> m_copies;
};
