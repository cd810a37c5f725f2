#pragma once

#include "base/Notifier.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QTreeWidget;

// "내 낱말" of the settings: the user's own words (Hangul, Hanja, when added), one deleted or all
// (asked first), a file of them imported or exported in the dictionary's line format.
class UserWordsSection : public QWidget {
    Q_OBJECT
public:
    explicit UserWordsSection(QWidget* parent = nullptr);
    ~UserWordsSection() override;

    // Asked before all words are deleted; a dialog unless replaced (tests).
    std::function<bool()> confirmClear;

    void sync();
    bool importFrom(const QString& path);
    bool exportTo(const QString& path);
    void removeSelected();
    void clearAll();

    QTreeWidget* list() const { return m_list; }
    QString status() const;

private:
    void say(const QString& text, bool problem);

    QTreeWidget* m_list;
    QLabel* m_empty;
    QLabel* m_status;
    QPushButton* m_remove;
    QPushButton* m_clear;
    QPushButton* m_export;
    Notifier::Handle m_observer = 0;
};
