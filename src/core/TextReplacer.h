#pragma once

#include "core/Capture.h"

#include <QString>

#include <qcoro/qcorotask.h>

#include <functional>

// Writes a replacement over the captured selection.
class TextReplacer {
public:
    TextReplacer() = delete;

    // True when the text was written (own view or accessibility) or pasted: the target asked
    // for the text, or the paste keystroke was posted where requests cannot be seen. False when
    // the paste was refused, or nobody at all asked for the text by pasteDeadlineMs. Then
    // keepUnread, if given, decides whether the text stays on the clipboard for the user (who
    // has been told) instead of the user's clipboard coming back; a target that still asks for
    // it within lateReadMs was only slow: true after all, and the user's clipboard comes back.
    // Where keys cannot reach the window in front, nothing is posted: the text goes on the
    // clipboard if keepUnread agrees.
    // With oneUndoStep, the text is pasted where keys reach the window: an application undoes a
    // paste over a selection in one step, an accessibility write (a deletion, then an insertion)
    // in two in GTK's text views.
    static QCoro::Task<bool> replace(Capture cap, QString text, std::function<bool()> keepUnread = {},
                                     bool oneUndoStep = false);

    // The clipboard lent for a paste comes back once the application has asked for its text,
    // and never sooner than pasteSettleMs after the keystroke; without a request, at
    // pasteDeadlineMs.
    // An accessibility write reported done is looked for in the text until this long after it:
    // an application behind an input method (or a busy one) may show it late, and a paste on
    // top of a write that lands late puts the text in twice.
    static constexpr qint64 writeShowsWithinMs = 1000;
    static constexpr qint64 pasteSettleMs = 300;
    static constexpr qint64 pasteDeadlineMs = 2000;
    static constexpr qint64 lateReadMs = 1500;
    // After that, the paste may still be queued in a target that stopped: once it takes the text
    // (within this time), the user's clipboard comes back, unless something else was copied.
    static constexpr qint64 latePasteWatchMs = 10 * 60 * 1000;
    // Ends that watch: the clipboard is about to change by our own hand.
    static void stopWatchingLatePaste();
};
