#pragma once

#include "base/Notifier.h"

#include <QWidget>

class QCheckBox;
class QLabel;

// How the desktop delivers the shortcut in a Wayland session, said under the shortcut in the
// settings and the first-run window: on GNOME without the portal, the check box "GNOME 단축키로
// 등록" that lets us keep a GNOME custom shortcut; elsewhere a line on what to expect. Hidden in
// X11 sessions, where the program's own grab sees every window.
class DesktopShortcutOption : public QWidget {
    Q_OBJECT
public:
    explicit DesktopShortcutOption(QWidget* parent = nullptr);
    ~DesktopShortcutOption() override;

    // Null unless the desktop is GNOME without the portal.
    QCheckBox* checkBox() const { return m_check; }
    QString explanation() const;
    QString problem() const;

    // Reads the route and the answer again (the window opens again, or another window changed it).
    void sync();

private:
    QCheckBox* m_check = nullptr;
    QLabel* m_text;
    QLabel* m_problem;
    Notifier::Handle m_observer = 0;
};
