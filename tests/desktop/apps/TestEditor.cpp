// A small Qt 6 editor for desktop tests: one text field whose text and selection come from the
// command line, and whose text is mirrored to a file after every change, so a test can check a
// write without asking the accessibility layer that made it.
//
//   sorelwick_test_editor [--rich | --password] [--read-only] [--text TEXT] [--select START,LENGTH]
//                         [--mirror FILE] [--copy-delay MS] [--paste-delay MS]
//
// START and LENGTH count UTF-16 units, as Qt's text positions do. --rich uses a QTextEdit
// instead of a QPlainTextEdit, --password a QLineEdit that masks its text. The delays make Ctrl+C and Ctrl+V act that much later, as a
// slow application (a browser without accessibility, an office suite under load) does.

#include <QApplication>
#include <QCommandLineParser>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

void mirror(const QString& path, const QString& text)
{
    if (path.isEmpty()) return;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit())
        std::fprintf(stderr, "test editor: cannot write %s\n", qPrintable(path));
}

// Holds back the copy and paste keys and carries them out after their delays.
class SlowClipboard : public QObject {
public:
    SlowClipboard(int copyDelay, int pasteDelay, std::function<void()> copy, std::function<void()> paste)
        : m_copyDelay(copyDelay)
        , m_pasteDelay(pasteDelay)
        , m_copy(std::move(copy))
        , m_paste(std::move(paste))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (m_copyDelay > 0 && key->matches(QKeySequence::Copy)) {
            QTimer::singleShot(m_copyDelay, this, m_copy);
            return true;
        }
        if (m_pasteDelay > 0 && key->matches(QKeySequence::Paste)) {
            QTimer::singleShot(m_pasteDelay, this, m_paste);
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    int m_copyDelay;
    int m_pasteDelay;
    std::function<void()> m_copy;
    std::function<void()> m_paste;
};

// A password field: one line, masked, the whole text selected unless --select says otherwise.
int runPassword(QApplication& app, const QCommandLineParser& args)
{
    QLineEdit edit;
    edit.setWindowTitle(QStringLiteral("Sorelwick test editor"));
    edit.resize(640, 60);
    edit.setEchoMode(QLineEdit::Password);
    const QString mirrorPath = args.value(QStringLiteral("mirror"));
    edit.setText(args.value(QStringLiteral("text")));
    QObject::connect(&edit, &QLineEdit::textChanged, &edit, [&] { mirror(mirrorPath, edit.text()); });
    mirror(mirrorPath, edit.text());
    const QStringList select = args.value(QStringLiteral("select")).split(u',');
    if (select.size() == 2) edit.setSelection(select[0].toInt(), select[1].toInt());
    else edit.selectAll();
    edit.show();
    edit.activateWindow();
    edit.setFocus();
    return app.exec();
}

template <typename Edit>
int run(QApplication& app, const QCommandLineParser& args)
{
    Edit edit;
    edit.setWindowTitle(QStringLiteral("Sorelwick test editor"));
    edit.resize(640, 360);
    QFont font = edit.font();
    font.setPointSize(14);
    edit.setFont(font);
    const QString mirrorPath = args.value(QStringLiteral("mirror"));
    edit.setPlainText(args.value(QStringLiteral("text")));
    edit.setReadOnly(args.isSet(QStringLiteral("read-only")));
    QObject::connect(&edit, &Edit::textChanged, &edit, [&] { mirror(mirrorPath, edit.toPlainText()); });
    mirror(mirrorPath, edit.toPlainText());

    if (args.isSet(QStringLiteral("select"))) {
        const QStringList select = args.value(QStringLiteral("select")).split(u',');
        bool okStart = false, okLength = false;
        const int start = select.value(0).toInt(&okStart);
        const int length = select.value(1).toInt(&okLength);
        if (select.size() != 2 || !okStart || !okLength) {
            std::fprintf(stderr, "test editor: --select needs START,LENGTH\n");
            return 2;
        }
        QTextCursor cursor = edit.textCursor();
        cursor.setPosition(start);
        cursor.setPosition(start + length, QTextCursor::KeepAnchor);
        edit.setTextCursor(cursor);
    }
    SlowClipboard slow(args.value(QStringLiteral("copy-delay")).toInt(), args.value(QStringLiteral("paste-delay")).toInt(),
                       [&] { edit.copy(); }, [&] { edit.paste(); });
    edit.installEventFilter(&slow);
    edit.show();
    edit.activateWindow();
    edit.setFocus();
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser args;
    args.addOption({QStringLiteral("rich"), QStringLiteral("Use a QTextEdit.")});
    args.addOption({QStringLiteral("password"), QStringLiteral("Use a QLineEdit in password mode.")});
    args.addOption({QStringLiteral("read-only"), QStringLiteral("Refuse edits.")});
    args.addOption({QStringLiteral("text"), QStringLiteral("Initial text."), QStringLiteral("text")});
    args.addOption({QStringLiteral("select"), QStringLiteral("Selection: start and length, UTF-16 units."),
                    QStringLiteral("start,length")});
    args.addOption({QStringLiteral("mirror"), QStringLiteral("File that receives the text after every change."),
                    QStringLiteral("file")});
    args.addOption({QStringLiteral("copy-delay"), QStringLiteral("Milliseconds before Ctrl+C copies."), QStringLiteral("ms")});
    args.addOption({QStringLiteral("paste-delay"), QStringLiteral("Milliseconds before Ctrl+V pastes."), QStringLiteral("ms")});
    args.process(app);
    if (args.isSet(QStringLiteral("rich"))) return run<QTextEdit>(app, args);
    if (args.isSet(QStringLiteral("password"))) return runPassword(app, args);
    return run<QPlainTextEdit>(app, args);
}
