#pragma once

#include "platform/Accessibility.h"
#include "platform/EditChords.h"
#include "platform/OwnWindows.h"
#include "platform/Types.h"

#include <QRectF>
#include <QString>

#include <memory>
#include <optional>

// The selection that a session works on, with what it takes to write a replacement back and to
// place the panel next to it.
struct Capture {
    QString selected;         // possibly widened to a whole jamo-typo run
    QString context;          // text around the selection, for the language model
    bool viaAccessibility = false;
    AXElementRef element;     // the focused text element; null unless read through accessibility
    std::optional<QRectF> selectionBounds; // global, origin top left, y downwards
    Pid pid = 0;              // the process that owned the selection
    std::shared_ptr<OwnTextView> local; // set when the selection is in one of our own windows
    // The focus is a password field: nothing was read from it, and nothing may be written there.
    bool secure = false;
    // How that application copies and pastes, as the workspace told at capture time.
    EditChords chords = EditChords::forDesktopId(std::nullopt);
};
