#pragma once

#include "platform/OwnWindows.h"

// Our own windows for the session: the focused text widget of our active window, when there is
// one (the first-run window's practice sentence is the one that matters).
class QtOwnWindows : public OwnWindows {
public:
    std::shared_ptr<OwnTextView> focusedTextView() override;
};
