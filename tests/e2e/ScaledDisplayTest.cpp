// The panel where the user looks when the editor and Sorelwick draw at different scales: GTK at
// GDK_SCALE reports its rectangles in its own enlarged units, Qt at QT_SCALE_FACTOR places windows
// in its own; on the screen the panel still has to open right under the selected word.

#include "EndToEndFixture.h"

namespace {

using namespace E2eTest;

class PanelOnScaledScreens : public EndToEnd {
protected:
    static inline const QString kWord = QStringLiteral("수도는");

    // Measures the panel against the selected word in screen pixels (the word's rectangle is what
    // the editor reports times its scale): left edges aligned, 6 of Sorelwick's points below it.
    static void expectPanelUnderWord(pid_t editor, int editorScale, int qtScale, const QString& picture)
    {
        const int at = int(kSentence.indexOf(kWord));
        const std::optional<QRect> reported = textExtents(editor, at, at + int(kWord.size()));
        ASSERT_TRUE(reported);
        const QRect wordOnScreen(reported->topLeft() * editorScale, reported->size() * editorScale);

        ASSERT_TRUE(shortcutShowsList()) << "no panel";
        const QRect frame = panel()->geometry;
        saveShot(picture, frame.united(wordOnScreen).adjusted(-40, -40, 40, 40));
        const auto where = [&] {
            return QStringLiteral("word at %1,%2 (height %3), panel at %4,%5")
                .arg(wordOnScreen.x()).arg(wordOnScreen.y()).arg(wordOnScreen.height()).arg(frame.x()).arg(frame.y())
                .toStdString();
        };
        EXPECT_NEAR(frame.x(), wordOnScreen.x(), 3) << where();
        EXPECT_NEAR(frame.y() - (wordOnScreen.y() + wordOnScreen.height()), 6 * qtScale, 3) << where();
        EXPECT_TRUE(closes());
    }

    static void expectPanelUnderWordInMousepad(int gtkScale, int qtScale, const QString& picture)
    {
        SCOPED_TRACE(QStringLiteral("GDK_SCALE=%1 QT_SCALE_FACTOR=%2").arg(gtkScale).arg(qtScale).toStdString());
        Mousepad editor;
        ASSERT_TRUE(editor.open(kSentence, {QStringLiteral("GDK_SCALE=%1").arg(gtkScale)}) && editor.select(kWord));
        expectPanelUnderWord(editor.pid(), gtkScale, qtScale, picture);
    }
};

TEST_F(PanelOnScaledScreens, ThePanelOpensUnderTheWordOfAnEditorAtAnyScale)
{
    expectPanelUnderWordInMousepad(1, 1, QStringLiteral("panel-gtk1-qt1.png"));
    expectPanelUnderWordInMousepad(2, 1, QStringLiteral("panel-gtk2-qt1.png"));
    // A Qt editor reports its window without the window manager's frame.
    SCOPED_TRACE("the Qt editor at QT_SCALE_FACTOR=2");
    TestEditor editor;
    ASSERT_TRUE(editor.open(kSentence, kWord, {}, {QStringLiteral("QT_SCALE_FACTOR=2")}));
    expectPanelUnderWord(editor.program->pid(), 2, 1, QStringLiteral("panel-qteditor2-qt1.png"));
}

// Sorelwick itself at twice the scale.
class ScaledSorelwick : public PanelOnScaledScreens {
protected:
    static void SetUpTestSuite()
    {
        s_app = startSorelwick({QStringLiteral("QT_SCALE_FACTOR=2")});
    }
};

TEST_F(ScaledSorelwick, ThePanelOpensUnderTheWordOfAnEditorAtAnyScale)
{
    expectPanelUnderWordInMousepad(1, 2, QStringLiteral("panel-gtk1-qt2.png"));
    expectPanelUnderWordInMousepad(2, 2, QStringLiteral("panel-gtk2-qt2.png"));
}

} // namespace
