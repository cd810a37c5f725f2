#include "core/PickHistory.h"
#include "core/SyllableCompose.h"
#include "core/UserWords.h"

#include "SessionFixture.h"

// A word spelled one character at a time in the panel, written and kept. (Offered first again:
// UserWordsTest, WordsCliTest and the e2e tier.)

namespace {

constexpr quint16 kTab = 48, kBackspace = 51;

struct ComposeFixture : SessionFixture {
    ComposeFixture()
    {
        // 鐵 comes first in the file, 哲 is used in more words.
        data.write("hanja.tsv", "김\t金\t성 김\n김\t錦\t비단 김\n철\t鐵\t쇠 철\n철\t哲\t밝을 철\n수\t水\t물 수\n수\t洙\t물가 수\n"
                                "철학\t哲學\n학\t學\t배울 학\n");
        reloadDictionary();
        UserWords::shared().clear();
        UserWords::shared().attachTo(*dictionary);
    }
    ~ComposeFixture() override
    {
        UserWords::shared().clear();
        dictionary->setUserWords(nullptr);
    }
};

} // namespace

TEST_F(ComposeFixture, ANameIsSpelledCharacterByCharacterWrittenAndKept)
{
    auto editor = fake->openEditor("김철수", {0, 3});
    ASSERT_TRUE(pressShowsList());
    ASSERT_EQ(panel.model().items().size(), 1) << "the row that spells it";

    const int closed = fake->panelWindow->orderOutCount();
    press(kTab);
    EXPECT_EQ(fake->panelWindow->orderOutCount(), closed) << "closed and shown again, a digit could reach the editor";
    EXPECT_EQ(panel.model().header(), "[김]철수 · 1/3");
    EXPECT_EQ(panel.model().items()[0].secondary, "성 김");
    press(kDigit1);
    EXPECT_EQ(primaries(), QStringList({"哲", "鐵"})) << "by use in words, not file order";
    press(kBackspace);
    EXPECT_EQ(panel.model().header(), "[김]철수 · 1/3");
    press(kDigit1);
    press(kDigit1);
    press(kDigit2);
    ASSERT_TRUE(spinUntil([&] { return replacedPosts > 0; }));
    EXPECT_EQ(editor->text, "김철수(金哲洙)");
    EXPECT_EQ(UserWords::shared().table()->forHangul(u"김철수").value(0).hanja, "金哲洙");
    EXPECT_EQ(PickHistory::shared().count(), 1);
}

TEST_F(ComposeFixture, ASyllableWithMoreThanNineCharactersPagesAndBackspaceAtTheStartCloses)
{
    QByteArray lines = "수\t水\n";
    const QString many = QStringLiteral("佳假價加可家歌街架");
    for (QChar c : many) lines += "가\t" + QString(c).toUtf8() + "\n";
    lines += "가\t暇\n";
    data.write("hanja.tsv", lines);
    reloadDictionary();
    fake->openEditor("가수", {0, 2});
    ASSERT_TRUE(pressShowsList());
    press(kTab);
    EXPECT_EQ(panel.model().items().size(), 10);
    EXPECT_TRUE(panel.model().expanded()) << "nine rows at once";
    press(kTab);
    EXPECT_EQ(primaries().value(0), "暇");
    press(kTab);
    EXPECT_EQ(primaries().value(0), "佳") << "the pages go round";
    press(kBackspace);
    EXPECT_FALSE(panel.isVisible());

    // Compounds writers spelled: 暇 beside the same 수, then 街 spelling 가 elsewhere, before file order.
    data.write("seen_compounds.tsv", "가수원\t暇水院\t1\n대가로\t大街路\t1\n");
    reloadDictionary();
    EXPECT_EQ(SyllableCompose("가수", *dictionary).page().mid(0, 3),
              QList<SyllableCompose::Choice>({{"暇", ""}, {"街", ""}, {"佳", ""}}));
}
