#pragma once

#include "base/Notifier.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

// Tells the user, once a run, that a change they made could not be written to the settings file
// (settingsDidFailToSave): it stays in force, and is saved with the first change that can be, but
// a restart before then loses it. Later failures only go to the log.
class SaveFailureNotice : public QObject {
    Q_OBJECT
public:
    explicit SaveFailureNotice(QObject* parent = nullptr);
    ~SaveFailureNotice() override;

    // The box while it is open.
    QMessageBox* box() const { return m_box; }

private:
    void tell();

    Notifier::Handle m_observer = 0;
    bool m_told = false;
    QPointer<QMessageBox> m_box;
};
