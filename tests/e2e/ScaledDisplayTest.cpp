// The panel where the user looks when the editor and Sorelwick draw at different scales: GTK at
// GDK_SCALE reports its rectangles in its own enlarged units, Qt at QT_SCALE_FACTOR places windows
// in its own; on the screen the panel still has to open right under the selected word.

#include "EndToEndFixture.h"

namespace {

using namespace E2eTest;

// Sets an environment variable for what is started while it lives.
struct ScopedEnv {
    QByteArray name, before;
    bool was;
    ScopedEnv(const char* n, const QByteArray& value) : name(n), before(qgetenv(n)), was(qEnvironmentVariableIsSet(n))
    {
        qputenv(n, value);
    }
    ~ScopedEnv()
    {
        if (was) qputenv(name.constData(), before);
        else qunsetenv(name.constData());
    }
};

// mousepad at a GTK scale, holding the sentence, in front.
struct ScaledMousepad {
    QTemporaryDir dir;
    std::unique_ptr<LaunchedApp> program;

    bool open(int scale)
    {
        const QString path = dir.filePath(QStringLiteral("text.txt"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return false;
        file.write(kSentence.toUtf8());
        file.close();
        program = LaunchedApp::start(QStringLiteral("env"), {QStringLiteral("GDK_SCALE=%1").arg(scale),
                                                             QStringLiteral("mousepad"),
                                                             QStringLiteral("--disable-server"), path});
        return program && waitUntil([&] { return applicationText(program->pid()) == kSentence; }, 15s)
            && program->activate(10s);
    }
};

class PanelOnScaledScreens : public EndToEnd {
protected:
    // Selects the word, presses the shortcut and measures the panel against the word, both in screen
    // pixels: the word's rectangle is what mousepad reports times its scale. The panel's left edge
    // stands on the word's, 6 of Sorelwick's points below it.
    static void expectPanelUnderWord(int gtkScale, int qtScale, const QString& picture)
    {
        SCOPED_TRACE(QStringLiteral("GDK_SCALE=%1 QT_SCALE_FACTOR=%2").arg(gtkScale).arg(qtScale).toStdString());
        ScaledMousepad editor;
        ASSERT_TRUE(editor.open(gtkScale));
        const QString word = QStringLiteral("수도는");
        const int at = int(kSentence.indexOf(word));
        ASSERT_TRUE(selectText(editor.program->pid(), at, at + int(word.size())));
        const std::optional<QRect> reported = textExtents(editor.program->pid(), at, at + int(word.size()));
        ASSERT_TRUE(reported);
        const QRect wordOnScreen(reported->topLeft() * gtkScale, reported->size() * gtkScale);

        pressChord(QStringLiteral("ctrl+alt+h"));
        ASSERT_TRUE(waitForList()) << "no panel";
        const QRect frame = panel()->geometry;
        saveShot(picture, frame.united(wordOnScreen).adjusted(-40, -40, 40, 40));
        EXPECT_NEAR(frame.x(), wordOnScreen.x(), 3) << "word at " << wordOnScreen.x() << "," << wordOnScreen.y()
                                                    << ", panel at " << frame.x() << "," << frame.y();
        EXPECT_NEAR(frame.y() - (wordOnScreen.y() + wordOnScreen.height()), 6 * qtScale, 3)
            << "word at " << wordOnScreen.x() << "," << wordOnScreen.y() << " (height " << wordOnScreen.height()
            << "), panel at " << frame.x() << "," << frame.y();
        pressChord(QStringLiteral("Escape"));
        EXPECT_TRUE(waitUntil([] { return !panel(); }, 3s));
    }
};

TEST_F(PanelOnScaledScreens, ThePanelOpensUnderTheWordOfAnEditorAtAnyScale)
{
    expectPanelUnderWord(1, 1, QStringLiteral("panel-gtk1-qt1.png"));
    expectPanelUnderWord(2, 1, QStringLiteral("panel-gtk2-qt1.png"));
}

// Sorelwick itself at twice the scale.
class ScaledSorelwick : public PanelOnScaledScreens {
protected:
    static void SetUpTestSuite()
    {
        writeDefaults(R"({"onboardingDone": true})");
        ScopedEnv scale("QT_SCALE_FACTOR", "2");
        s_app = startSorelwick();
    }
};

TEST_F(ScaledSorelwick, ThePanelOpensUnderTheWordOfAnEditorAtAnyScale)
{
    expectPanelUnderWord(1, 2, QStringLiteral("panel-gtk1-qt2.png"));
    expectPanelUnderWord(2, 2, QStringLiteral("panel-gtk2-qt2.png"));
}

} // namespace
