#pragma once

#include "core/Capture.h"

#include <QString>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>
#include <utility>

// Reads the selection of the frontmost application: from our own window, through the
// accessibility interface, or by the application's copy chord with the clipboard saved and
// restored. A terminal never gets a copy chord (Ctrl+C would interrupt what runs there): its
// selection is read from PRIMARY when the terminal holds it.
class TextCapture {
public:
    TextCapture() = delete;

    // Absent when nothing could be read; `why` then holds what the user is told instead of "no
    // selected text", when there is more to say. Without `accessibility` (the desktop's switch is
    // off) only the copy chord and PRIMARY are tried. A capture with `secure` set, and nothing
    // read, when the focus is a password field.
    static QCoro::Task<std::optional<Capture>> capture(bool accessibility = true, QString* why = nullptr);

    static inline const QString clipboardUnsavedNotice = QStringLiteral("클립보드를 보관할 수 없어 선택을 복사하지 않았습니다");

    // Whether the element is a password field; whether the focus of that application is one.
    static QCoro::Task<bool> isSecure(AXElementRef element);
    static QCoro::Task<bool> focusIsSecure(Pid pid);

    // The element's whole text ("AXValue"), absent on an error or a value that is not text.
    static QCoro::Task<std::optional<QString>> value(AXElementRef element);

    // Context window around a selection: up to this many UTF-16 units on each side.
    static constexpr qint64 contextRadius = 150;

    // How long a copy chord's copy is still expected after the capture gave up on it: one that
    // comes within this time is undone, so the user's clipboard survives a slow application.
    static constexpr qint64 lateCopyGraceMs = 2000;
    // Ends that watch (and a pick's late paste watch): the clipboard is about to change by our
    // own hand.
    static void stopWatchingLateCopy();
    // Narrows that watch to the time the condition holds (the user has not moved on).
    static void watchLateCopyWhile(std::function<bool()> condition);

private:
    static std::optional<Capture> captureLocal();
    // The focused element of the application with that process id; null when it has none.
    static QCoro::Task<AXElementRef> focusedElement(Pid pid);
    static QCoro::Task<std::optional<Capture>> captureViaAX(Pid pid, AXElementRef element);
    static QCoro::Task<std::optional<std::pair<QString, TextRange>>> expandTypoRun(AXElementRef element, QString full,
                                                                                   TextRange range);
    static QCoro::Task<std::optional<Capture>> captureViaClipboard(Pid pid, EditChords chords, QString identifier,
                                                                   QString* why);
    static QCoro::Task<std::optional<Capture>> captureViaPrimary(Pid pid);
};
