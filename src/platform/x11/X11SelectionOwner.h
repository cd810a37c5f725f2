#pragma once

#include "platform/Pasteboard.h"

#include <QDeadlineTimer>
#include <QList>

#include <list>
#include <memory>
#include <optional>

class X11Connection;
union _XEvent;
typedef union _XEvent XEvent;

// Holds a selection with our own data on our own connection and answers other programs'
// requests for it (TARGETS, TIMESTAMP, each type, large data in pieces). Qt's clipboard cannot
// do this for a program that rarely gets input: it takes ownership with the time of the last
// event it saw, which the server refuses once someone else copied since.
class X11SelectionOwner {
public:
    X11SelectionOwner(std::shared_ptr<X11Connection> connection, unsigned long selection);
    ~X11SelectionOwner();
    X11SelectionOwner(const X11SelectionOwner&) = delete;
    X11SelectionOwner& operator=(const X11SelectionOwner&) = delete;

    // Takes the selection with item; false when the server did not give it to us.
    bool own(const PasteboardItem& item);
    // Gives the selection up (nobody owns it afterwards) when we hold it.
    void disown();

    enum class HandOver { nothingHeld, saved, noManager, refused, timedOut };
    // Hands what we hold to the desktop's clipboard manager, which keeps it once we are gone
    // (ICCCM: SAVE_TARGETS asked of CLIPBOARD_MANAGER), answering the manager's requests until it
    // says it is done or timeLimitMs passed. Blocks that long at most: for leaving only.
    HandOver handToManager(qint64 timeLimitMs);
    unsigned long window() const { return m_window; }
    // Who asked for the text of the item held now, in order (process where it can be told).
    const QList<std::optional<Pid>>& textReaders() const { return m_textReaders; }

private:
    struct Transfer {
        unsigned long requestor;
        unsigned long property;
        unsigned long type;
        QByteArray data;
        qsizetype sent = 0;
        QDeadlineTimer abandoned{30000}; // a requestor that stopped reading
    };

    unsigned long serverTime();
    void onEvent(XEvent& event);
    // The property the answer went to, or 0 (None) when refused.
    unsigned long answer(unsigned long requestor, unsigned long target, unsigned long property);
    void continueTransfer(unsigned long requestor, unsigned long property);
    void dropAbandonedTransfers();

    std::shared_ptr<X11Connection> m_connection;
    unsigned long m_selection;
    unsigned long m_window = 0;
    int m_handler = 0;
    PasteboardItem m_item;
    unsigned long m_ownedSince = 0; // 0: not ours
    std::list<Transfer> m_transfers;
    std::optional<bool> m_managerSaved; // the manager's answer to a hand-over
    QList<std::optional<Pid>> m_textReaders;
    qsizetype m_chunk;
};
