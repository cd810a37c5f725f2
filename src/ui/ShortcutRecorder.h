#pragma once

#include "core/Shortcut.h"
#include "core/ShortcutCenter.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

// The settings control that shows the global shortcut and records a new one. While recording it
// suspends the global shortcut (so the one in force can be pressed again) and takes the keyboard
// through its own grab; the combination goes to ShortcutCenter::change(), whose refusal is shown
// under the control. Escape alone, the cancel button, another window taking the focus, or the
// control going away end the recording without change.
class ShortcutRecorder : public QWidget {
    Q_OBJECT
public:
    explicit ShortcutRecorder(QWidget* parent = nullptr);
    ~ShortcutRecorder() override;

    void start();
    void stop();
    // Tries a combination (the reset button applies the default this way).
    void apply(quint32 keyCode, quint64 modifiers);
    void toggle();

    bool isRecording() const { return m_recording; }
    quint64 liveModifiers() const { return m_liveMods; }
    const std::optional<QString>& problem() const { return m_problem; }
    QString helpText() const;
    // The reset button while idle ("기본값 Ctrl+Alt+H"), the cancel button while recording.
    QPushButton* sideButton() const { return m_side; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QRectF controlRect() const;
    QStringList capTexts() const;
    void refresh();

    bool m_recording = false;
    quint64 m_liveMods = 0;
    std::optional<QString> m_problem;
    bool m_hover = false;
    QPushButton* m_side;
    QLabel* m_help;
    QMetaObject::Connection m_focusWatch;
};
