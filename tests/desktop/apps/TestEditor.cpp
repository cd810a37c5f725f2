// A small Qt 6 editor for desktop tests: one text field whose text and selection come from the
// command line, and whose text is mirrored to a file after every change, so a test can check a
// write without asking the accessibility layer that made it.
//
//   sorelwick_test_editor [--rich | --password] [--read-only] [--text TEXT] [--select START,LENGTH]
//                         [--mirror FILE] [--copy-delay MS] [--paste-delay MS]
//
// START and LENGTH count UTF-16 units, as Qt's text positions do. --rich uses a QTextEdit instead
// of a QPlainTextEdit, --password a QLineEdit that masks its text. The delays make Ctrl+C and
// Ctrl+V act that much later, as a slow application (a browser without accessibility, an office
// suite under load) does.

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
#include <tuple>
#include <type_traits>

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
    std::function<void()> copy, paste;
    int copyDelay = 0, pasteDelay = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const auto* key = static_cast<QKeyEvent*>(event);
        for (const auto& [sequence, delay, action] : {std::tuple(QKeySequence::Copy, copyDelay, copy),
                                                      std::tuple(QKeySequence::Paste, pasteDelay, paste)})
            if (event->type() == QEvent::KeyPress && delay > 0 && key->matches(sequence)) {
                QTimer::singleShot(delay, this, action);
                return true;
            }
        return QObject::eventFilter(watched, event);
    }
};

// One field of any of the three kinds: its text, selection, mirror and slow keys.
template <typename Edit>
int run(QApplication& app, const QCommandLineParser& args)
{
    constexpr bool password = std::is_same_v<Edit, QLineEdit>;
    Edit edit;
    edit.setWindowTitle(QStringLiteral("Sorelwick test editor"));
    edit.resize(640, password ? 60 : 360);
    QFont font = edit.font();
    font.setPointSize(14);
    edit.setFont(font);
    const auto text = [&] {
        if constexpr (password) return edit.text();
        else return edit.toPlainText();
    };
    if constexpr (password) {
        edit.setEchoMode(QLineEdit::Password);
        edit.setText(args.value(QStringLiteral("text")));
        edit.selectAll();
    } else {
        edit.setPlainText(args.value(QStringLiteral("text")));
    }
    edit.setReadOnly(args.isSet(QStringLiteral("read-only")));
    const QString mirrorPath = args.value(QStringLiteral("mirror"));
    QObject::connect(&edit, &Edit::textChanged, &edit, [&] { mirror(mirrorPath, text()); });
    mirror(mirrorPath, text());
    if (args.isSet(QStringLiteral("select"))) {
        const QStringList range = args.value(QStringLiteral("select")).split(u',');
        bool okStart = false, okLength = false;
        const int start = range.value(0).toInt(&okStart), length = range.value(1).toInt(&okLength);
        if (range.size() != 2 || !okStart || !okLength) {
            std::fprintf(stderr, "test editor: --select needs START,LENGTH\n");
            return 2;
        }
        if constexpr (password) {
            edit.setSelection(start, length);
        } else {
            QTextCursor cursor = edit.textCursor();
            cursor.setPosition(start);
            cursor.setPosition(start + length, QTextCursor::KeepAnchor);
            edit.setTextCursor(cursor);
        }
    }
    SlowClipboard slow;
    slow.copy = [&] { edit.copy(); };
    slow.paste = [&] { edit.paste(); };
    slow.copyDelay = args.value(QStringLiteral("copy-delay")).toInt();
    slow.pasteDelay = args.value(QStringLiteral("paste-delay")).toInt();
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
    if (args.isSet(QStringLiteral("password"))) return run<QLineEdit>(app, args);
    return run<QPlainTextEdit>(app, args);
}
