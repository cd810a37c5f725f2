#include "core/UserWords.h"

#include "core/PickHistory.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

// The user's own words: what is taken, how the file keeps them, and how lookups use them.

namespace {

// Single characters to spell with, and a few words.
const QByteArray kDictionary = "범\t汎\t넓을 범\n범\t犯\t범할 범\n용\t用\t쓸 용\n수\t水\t물 수\n수\t洙\t물가 수\n"
                               "수\t數\t셈 수\n리\t李\t오얏 리\n김\t金\t성 김\n철\t哲\t밝을 철\n률\t率\t비율 률\n"
                               "비\t比\t견줄 비\n계\t階\t섬돌 계\n범용\t凡庸\t\n범용\t犯用\t\n김치\t沈菜\t\n"
                               "부과\t賦課\n계수\t係數\n계수\t計數\n";

QString fileText(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}

QStringList hanjaOf(const QList<HanjaEntry>& entries)
{
    QStringList out;
    for (const HanjaEntry& e : entries) out.append(e.hanja().toString());
    return out;
}

const QDateTime kAt = QDateTime::fromSecsSinceEpoch(1'800'000'000, QTimeZone::utc());

struct Fixture {
    QTemporaryDir dir;
    HanjaDictionary dictionary{HanjaDictionary::Texts{kDictionary, QByteArray(), QByteArray("\t100\n는\t50\n을\t50\n를\t50\n"),
                                                      QByteArray("계수\t係數\t50\n부과\t賦課\t10\n")}};
    UserWords words{dir.filePath("sorelwick/words.txt"), dictionary};
    Fixture() { words.attachTo(dictionary); }
};

} // namespace

TEST(UserWordsTest, ASpellingIsTakenOnlyWhenItReadsAsTheWordSyllableBySyllable)
{
    Fixture f;
    const struct {
        const char* hangul;
        const char* hanja;
        const char* named; // in the reason; empty: taken
    } cases[] = {
        {"범용", "汎用", ""},
        {"이수", "李水", ""},   // 리 at the start reads 이
        {"비율", "比率", ""},   // 률 after a vowel reads 율
        {"범용", "汎水", "水"}, // 水 is no 용
        {"수이", "水李", "李"}, // 李 inside a word is 리
        {"범용", "汎ㅇ", "汎ㅇ"},
        {"bum", "汎用", "bum"},
    };
    for (const auto& c : cases) {
        const std::optional<QString> why = f.words.refusal(c.hangul, c.hanja);
        if (!*c.named) {
            EXPECT_FALSE(why) << c.hangul << " " << c.hanja << ": " << why.value_or("").toStdString();
        } else {
            ASSERT_TRUE(why) << c.hangul << " " << c.hanja;
            EXPECT_TRUE(why->contains(QString::fromUtf8(c.named))) << why->toStdString();
        }
    }
    EXPECT_FALSE(f.words.add("범용", "水", "", kAt).ok);
    EXPECT_TRUE(f.words.table()->isEmpty()) << "a refused word is not written";
}

TEST(UserWordsTest, TwoProcessesAddingAtOnceKeepEveryWord)
{
    Fixture f;
    const QStringList first = {"범", "수"}, hanjaFirst = {"汎", "水"};
    // Each process adds the words of its own syllable; 2 × 8 words in all.
    const auto addAll = [&](int which) {
        const QStringList second = {"범", "용", "수", "김", "철", "비", "계", "리"};
        const QStringList hanjaSecond = {"汎", "用", "水", "金", "哲", "比", "階", "李"};
        bool ok = true;
        for (int i = 0; i < second.size(); ++i)
            ok = f.words.add(first[which] + second[i], hanjaFirst[which] + hanjaSecond[i], "", kAt).ok && ok;
        return ok;
    };
    f.words.table(); // the dictionary is read before the fork, so the children start at once
    f.words.refusal("범용", "汎用");
    std::fflush(stdout);
    pid_t children[2];
    for (int which = 0; which < 2; ++which) {
        children[which] = ::fork();
        ASSERT_GE(children[which], 0);
        if (children[which] == 0) _exit(addAll(which) ? 0 : 1);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(UserWords(f.words.path(), f.dictionary).table()->words().size(), 16) << fileText(f.words.path()).toStdString();
}

// One page of room: the add fails with the reason, the file stays as it was, nothing is left over.
TEST(UserWordsTest, AFullDiskFailsTheAddAndKeepsTheFile)
{
    Fixture f;
    const QString folder = QFileInfo(f.words.path()).absolutePath();
    ASSERT_TRUE(QDir().mkpath(folder));
    TestSupport::inChild([&] { return TestSupport::onePageOfRoom(folder); }, [&] {
        ASSERT_TRUE(f.words.add("범용", "汎用", "", kAt).ok);
        const QString before = fileText(f.words.path());
        TestSupport::fillDisk(folder);
        const UserWords::Result r = f.words.add("김철수", "金哲洙", "", kAt);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.reason.contains(QString::fromLocal8Bit(std::strerror(ENOSPC)))) << r.reason.toStdString();
        EXPECT_EQ(fileText(f.words.path()), before);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"filler", "words.txt", "words.txt.lock"}));
    });
}

TEST(UserWordsTest, ABrokenLineIsSkippedAndKeptAside)
{
    // Lines that are no words: with bytes that are no UTF-8, and in a file that is all UTF-8 (with a
    // CR of a line end written elsewhere).
    const struct {
        QByteArray lines, aside;
    } rows[] = {
        {"범:\xff\xfe\n김철수 金哲洙\n", "범:\xff\xfe\n김철수 金哲洙\n"},
        {"김철수 金哲洙\r\n범용:凡 庸:\n", "김철수 金哲洙\n범용:凡 庸:\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.lines.toStdString());
        Fixture f;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(f.words.path()).absolutePath()));
        QFile file(f.words.path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("범용:汎用:넓게 씀:20270115T080000Z\n" + row.lines);
        file.close();
        const auto table = f.words.table();
        ASSERT_EQ(table->words().size(), 1);
        EXPECT_EQ(table->words().first(),
                  (UserWord{"범용", "汎用", "넓게 씀", QDateTime(QDate(2027, 1, 15), QTime(8, 0), QTimeZone::utc())}));

        ASSERT_TRUE(f.words.add("김철수", "金哲洙", "", kAt).ok);
        EXPECT_EQ(f.words.table()->words().size(), 2);
        QFile aside(f.words.path() + ".broken");
        ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
        EXPECT_EQ(aside.readAll(), row.aside);
        EXPECT_FALSE(fileText(f.words.path()).contains("김철수 金哲洙"));
    }
}

TEST(UserWordsTest, AnAddedNameIsAWordAndItsSpellingLeadsUntilAnotherIsPickedLater)
{
    Fixture f;
    TestSupport::freshDefaults();
    UserWords::shared().clear();
    // 犯用 was picked before 汎用 was added.
    PickHistory::shared().record("범용", "犯用", kAt.addSecs(-60));
    for (UserWords* store : {&f.words, &UserWords::shared()}) {
        ASSERT_TRUE(store->add("김철수", "金哲洙", "", kAt).ok);
        ASSERT_TRUE(store->add("범용", "汎用", "", kAt).ok);
    }
    EXPECT_EQ(f.dictionary.split("김철수는"), (HanjaDictionary::Split{"김철수", "는"}));
    EXPECT_EQ(hanjaOf(f.dictionary.candidates("김철수")), QStringList({"金哲洙"}));
    const QList<HanjaEntry> found = f.dictionary.candidates("범용");
    EXPECT_EQ(hanjaOf(found), QStringList({"汎用", "凡庸", "犯用"}));
    EXPECT_EQ(hanjaOf(PickHistory::shared().reorder(found, "범용", false)), QStringList({"汎用", "犯用", "凡庸"}));
    PickHistory::shared().record("범용", "凡庸", kAt.addSecs(60));
    EXPECT_EQ(hanjaOf(PickHistory::shared().reorder(found, "범용", false)), QStringList({"凡庸", "汎用", "犯用"}));
    EXPECT_EQ(f.dictionary.readHanja(QStringLiteral("金哲洙")).value(0).readings.value(0), "김철수");
    UserWords::shared().clear();
}

TEST(UserWordsTest, AUserWordIsAPartOfCompoundsAndLeadsThem)
{
    Fixture f;
    ASSERT_TRUE(f.words.add("계수", "階數", "", kAt).ok);
    // 係數 was seen 50 times as a part; the user's own spelling still comes first.
    EXPECT_EQ(f.dictionary.compounds("부과계수를").value(0).hanja, "賦課階數");
    ASSERT_TRUE(f.words.add("김철수", "金哲洙", "", kAt).ok);
    EXPECT_EQ(f.dictionary.compounds("김철수계수를").value(0).hanja, "金哲洙階數");
}
