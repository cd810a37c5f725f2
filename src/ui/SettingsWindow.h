#pragma once

#include "base/Notifier.h"
#include "core/MeaningLine.h"

#include <QList>
#include <QWidget>

#include <optional>

class DesktopShortcutOption;
class FormatOption;
class QAction;
class QVBoxLayout;
class MeaningOption;
class QLabel;
class QPushButton;
class QScrollArea;
class ShortcutRecorder;
class UserWordsSection;

// "소렐 설정": the replacement format, the meaning rows show, the global shortcut, the pick
// history and the user's own words. Every choice takes effect at once. The format and the history count are read from
// the settings and kept current through their notifications; nothing else is remembered here
// but which meaning option the pointer is over.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    // The one window, created on first use and kept when closed.
    static SettingsWindow& shared();

    explicit SettingsWindow(QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // Shows the window (or brings it forward when it is already open).
    void present();

    // What the tray menu holds beside the format (a checkable item shows as a check box). The
    // window shows them only while no tray host is there, and its texts then name no tray.
    void setMenuItems(const QList<QAction*>& items);
    void setTrayPresent(bool present);
    QWidget* menuSection() const { return m_menuSection; }

    QList<FormatOption*> formatOptions() const { return m_formatOptions; }
    QList<MeaningOption*> meaningOptions() const { return m_meaningOptions; }
    ShortcutRecorder* recorder() const { return m_recorder; }
    DesktopShortcutOption* desktopShortcut() const { return m_desktopShortcut; }
    // Everything the window shows, at its natural height (the window scrolls it on short screens).
    QWidget* content() const { return m_content; }
    QPushButton* clearButton() const { return m_clear; }
    UserWordsSection* userWords() const { return m_userWords; }
    QString previewSentence() const;
    QString meaningPreviewLine() const;
    QString historyText() const;
    // The line saying the history could not be cleared; empty while hidden.
    QString historyProblem() const;

private:
    // As tall as the content, or as the screen allows with a scroll bar; 420 wide plus the bar.
    void fitScreen();
    void syncFormat();
    void syncMeaning();
    void syncHistory();
    void setHoveredMeaning(MeaningLine::Style style, bool inside);

    QList<FormatOption*> m_formatOptions;
    QList<MeaningOption*> m_meaningOptions;
    QLabel* m_preview;
    QLabel* m_meaningLine;
    QLabel* m_history;
    QLabel* m_historyProblem;
    QPushButton* m_clear;
    QLabel* m_formatHint;
    QWidget* m_menuSection;
    QVBoxLayout* m_menuItems;
    ShortcutRecorder* m_recorder;
    DesktopShortcutOption* m_desktopShortcut;
    UserWordsSection* m_userWords;
    QWidget* m_content;
    QScrollArea* m_scroll;
    std::optional<MeaningLine::Style> m_hoveredMeaning;
    Notifier::Handle m_formatObserver = 0;
    Notifier::Handle m_historyObserver = 0;
};
