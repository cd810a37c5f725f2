#pragma once

#include "platform/Types.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

#include <qcoro/qcorotask.h>

// One item of the clipboard: (type, data) pairs in the item's order of types.
using PasteboardItem = QList<QPair<QString, QByteArray>>;

// The system clipboard (on X11 the CLIPBOARD selection). Another program may write to it at any
// moment; the change count is how the core notices. Reads wait for the program that holds the
// contents, in its own time: the event loop runs meanwhile.
class Pasteboard {
public:
    // Plain text, as the clipboard carries it between programs.
    static inline const QString stringType = QStringLiteral("text/plain");

    virtual ~Pasteboard() = default;

    // The process that holds the contents now; absent when it cannot be told.
    virtual std::optional<Pid> ownerPid() = 0;

    // Grows by at least one with every change of the contents, by this program or another.
    virtual qint64 changeCount() = 0;

    // The types that each item offers, items and types in the clipboard's order.
    virtual QCoro::Task<QList<QStringList>> itemTypes() = 0;
    // The data of one type of one item; absent when the owner does not deliver it.
    virtual QCoro::Task<std::optional<QByteArray>> data(qsizetype item, QString type) = 0;
    // Whether the last read (itemTypes() or data()) that came back empty failed on data the owner
    // holds (too large, too slow, cut off): contents that cannot be saved, unlike a type the owner
    // refuses or an empty clipboard.
    virtual bool lastReadLost() = 0;
    // The plain-text string of the first item that has one.
    virtual QCoro::Task<std::optional<QString>> string() = 0;

    // Empties the clipboard; returns the change count afterwards.
    virtual qint64 clearContents() = 0;
    // Writes all items in one operation (after clearContents); false when it was not accepted.
    virtual bool writeObjects(const QList<PasteboardItem>& items) = 0;
    // Adds the text as plain text to the clipboard's contents (after clearContents).
    virtual bool setString(const QString& text) = 0;

    // Each request by another program for the text of what this program wrote last, since it
    // wrote it (an application pastes by such a request): the requester's process where it can
    // be told. Empty once another program holds the contents; absent where requests are not seen.
    virtual std::optional<QList<std::optional<Pid>>> textReaders() = 0;
};
