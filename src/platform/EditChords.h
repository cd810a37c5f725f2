#pragma once

#include "platform/Types.h"

#include <QString>

#include <optional>

// The keys that make an application copy its selection and paste the clipboard. Most take
// Ctrl+C / Ctrl+V; terminals keep Ctrl+C for interrupting the running command, so a copy is
// never simulated there: their selection is read from PRIMARY instead.
struct EditChords {
    KeyChord copy;
    KeyChord paste;
    bool terminal = false; // never send the copy chord; the selection is on PRIMARY
    bool pastesPrimary = false; // the paste chord pastes PRIMARY (Shift+Insert in xterm)

    bool operator==(const EditChords&) const = default;

    // By the application's desktop id (on X11 the class part of WM_CLASS), else by its instance
    // name (the instance part), case-insensitive.
    static EditChords forDesktopId(const std::optional<QString>& desktopId,
                                   const std::optional<QString>& instanceName = std::nullopt);
};
