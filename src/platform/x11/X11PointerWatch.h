#pragma once

#include "platform/PointerWatch.h"

#include <memory>

class X11Connection;

// Button presses from XInput 2's raw events on the root window: they come to every client that
// asks, grabs or not, and take nothing from the window the press is for. Selected only while
// someone watches.
class X11PointerWatch : public PointerWatch {
public:
    explicit X11PointerWatch(std::shared_ptr<X11Connection> connection);
    ~X11PointerWatch() override;

    bool watch(std::function<void()> pressed) override;

private:
    void select(bool on);

    std::shared_ptr<X11Connection> m_connection;
    int m_opcode = -1; // the extension's, -1 without XInput 2.2
    int m_handler = 0;
    std::function<void()> m_pressed;
};
