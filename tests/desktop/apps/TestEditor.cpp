// A small Qt 6 editor for desktop tests: one text field whose text and selection come from the
// command line, and whose text is mirrored to a file after every change, so a test can check a
// write without asking the accessibility layer that made it.
//
//   sorelwick_test_editor [--rich] [--read-only] [--text TEXT] [--select START,LENGTH] [--mirror FILE]
//
// START and LENGTH count UTF-16 units, as Qt's text positions do. --rich uses a QTextEdit
// instead of a QPlainTextEdit.

#include <QApplication>
#include <QCommandLineParser>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QTextCursor>
#include <QTextEdit>

#include <cstdio>

namespace {

void mirror(const QString& path, const QString& text)
{
    if (path.isEmpty()) return;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit())
        std::fprintf(stderr, "test editor: cannot write %s\n", qPrintable(path));
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
    args.addOption({QStringLiteral("read-only"), QStringLiteral("Refuse edits.")});
    args.addOption({QStringLiteral("text"), QStringLiteral("Initial text."), QStringLiteral("text")});
    args.addOption({QStringLiteral("select"), QStringLiteral("Selection: start and length, UTF-16 units."),
                    QStringLiteral("start,length")});
    args.addOption({QStringLiteral("mirror"), QStringLiteral("File that receives the text after every change."),
                    QStringLiteral("file")});
    args.process(app);
    if (args.isSet(QStringLiteral("rich"))) return run<QTextEdit>(app, args);
    return run<QPlainTextEdit>(app, args);
}
