// The build's converter from libhangul's list to hanja.tsv: one-syllable words in the frequency
// table's order, everything else as libhangul has it.

#include "TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Converted {
    int code = -1;
    QString tsv, out;
};

Converted convert(const QByteArray& source, const std::optional<QByteArray>& table,
                  const std::optional<QByteArray>& supplement = std::nullopt)
{
    QTemporaryDir dir;
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        EXPECT_TRUE(TestSupport::writeFile(dir.filePath(name), bytes));
        return dir.filePath(name);
    };
    QStringList args{write("hanja.txt", source), dir.filePath("hanja.tsv")};
    if (table) args << write("hanja_freq.tsv", *table);
    if (supplement) args << write("hanja_supplement.tsv", *supplement);
    QProcess process;
    process.start(QStringLiteral(SORELWICK_TOOLS_DIR "/sorelwick_hanjaconv"), args);
    process.waitForFinished(30000);
    return {process.exitCode(), QString::fromUtf8(TestSupport::readFile(dir.filePath("hanja.tsv"))),
            QString::fromUtf8(process.readAllStandardOutput())};
}

const QByteArray source = "# libhangul\n"
                          "수:水:물 수\n수:手:손 수\n수:數:셀 수\n수:首:머리 수\n"
                          "수도:首都:서울\n수도:修道:도를 닦음\n"
                          "고:古:옛 고\n고:高:높을 고\n";

} // namespace

TEST(HanjaConvTest, OneSyllableWordsFollowTheTableAndTheRestKeepsLibhangulsOrder)
{
    const Converted c = convert(source,
                                QByteArray("# comment\n수\t數\t40\n수\t首\t40\n수\t手\t0.5\n"
                                           "수도\t修道\t900\n고\t高\tnot a number\n고\t高\t 7\n수\t水\n"));
    ASSERT_EQ(c.code, 0) << c.out.toStdString();
    // Equal scores keep libhangul's order, unscored spellings follow the scored ones; a word of two
    // syllables is the lookup's to order, and malformed table lines order nothing.
    EXPECT_EQ(c.tsv, QStringLiteral("수\t數\t셀 수\n수\t首\t머리 수\n수\t手\t손 수\n수\t水\t물 수\n"
                                    "수도\t首都\t서울\n수도\t修道\t도를 닦음\n"
                                    "고\t古\t옛 고\n고\t高\t높을 고\n"));
}

TEST(HanjaConvTest, TheSupplementsSpellingsJoinTheirWordAndNewWordsFollow)
{
    // 수도 修道 is libhangul's already; 해촉 is new; a line without two tabs is skipped.
    const Converted c = convert(source, QByteArray(),
                                QByteArray("# words libhangul lacks\n수도\t水道\t5\n수도\t修道\t3\n해촉\t解囑\t209\n"
                                           "해촉\t解觸\t2\n개임\n"));
    ASSERT_EQ(c.code, 0) << c.out.toStdString();
    EXPECT_TRUE(c.tsv.contains(QStringLiteral("수도\t首都\t서울\n수도\t修道\t도를 닦음\n수도\t水道\t\n고\t古")));
    EXPECT_TRUE(c.tsv.endsWith(QStringLiteral("고\t高\t높을 고\n해촉\t解囑\t\n해촉\t解觸\t\n")));
}
