#pragma once

#include "base/Notifier.h"
#include "platform/Clock.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class DesktopShortcutOption;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// "소렐 시작하기", the first-run window: turn on accessibility (which Sorelwick works without, by
// copy and paste), and one practice replacement in a sentence of our own. Both steps are watched
// live while the window is up: the switch is asked every second (without prompting), and any
// successful replacement completes the second step and stores "onboardingDone".
class OnboardingWindow : public QWidget {
    Q_OBJECT
public:
    static inline const QString doneKey = QStringLiteral("onboardingDone");
    static constexpr qint64 pollMs = 1000;

    // The one window, created on first use and kept when closed.
    static OnboardingWindow& shared();

    explicit OnboardingWindow(QWidget* parent = nullptr);
    ~OnboardingWindow() override;

    // At start-up: shows the window unless the permission is held and the first run is done.
    void showIfNeeded();
    // Whether the start shows the window: accessibility off, or the first run not finished.
    static bool needed();
    // Starts watching and brings the window forward (also after the first run was completed).
    void present();

    bool trusted() const { return m_trusted; }
    bool practiced() const { return m_practiced; }
    bool isWatching() const { return bool(m_poll); }
    // The footer names where the settings are: the tray icon, or without a tray host the settings window.
    void setTrayPresent(bool present);

    QPushButton* permissionButton() const { return m_permission; }
    QPushButton* footerButton() const { return m_footer; }
    QPlainTextEdit* practiceField() const { return m_field; }
    QWidget* practiceStep() const { return m_step2; }
    DesktopShortcutOption* desktopShortcut() const { return m_desktopShortcut; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void start();
    void stop();
    void schedulePoll();
    void setTrusted(bool trusted);
    void setPracticed();
    void refresh();

    bool m_trusted = false;
    bool m_practiced = false;
    std::unique_ptr<Clock::Pending> m_poll;
    Notifier::Handle m_observer = 0;

    QWidget* m_mark1;
    QWidget* m_mark2;
    QPushButton* m_permission;
    QLabel* m_permissionHint;
    QLabel* m_enabled;
    QWidget* m_step2;
    QPlainTextEdit* m_field;
    QLabel* m_done;
    QPushButton* m_footer;
    QLabel* m_footerHint;
    DesktopShortcutOption* m_desktopShortcut;
    QLabel* m_waylandApps;
};
