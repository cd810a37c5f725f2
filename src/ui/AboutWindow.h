#pragma once

#include <QWidget>

class QTextBrowser;

// "소렐 정보": the program's icon, name and version, and the credits of Licenses.txt (component
// headings, licence texts, clickable addresses).
class AboutWindow : public QWidget {
    Q_OBJECT
public:
    // The one window, created on first use and kept when closed.
    static AboutWindow& shared();

    explicit AboutWindow(QWidget* parent = nullptr);

    // Brings the window forward, creating its content on the first call.
    void present();

    // The credits file as rich text: "## " lines become headings, lines that are web addresses
    // become links, the rest body text. Blank lines leave no gaps.
    static QString creditsHtml(const QString& text);
    // Licenses.txt from the data folders; empty when it is missing or unreadable (logged).
    static QString creditsText();

    QTextBrowser* credits() const { return m_credits; }

private:
    QTextBrowser* m_credits;
};
