#include "core/dictionary/DictionaryIndex.h"
#include "core/dictionary/HanjaDictionary.h"

#include "base/Log.h"
#include "base/TextUtil.h"

#include "TestSupport.h"

#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

using TestSupport::DataDir;

namespace {

const auto contents = TestSupport::readFile;

// Lines far apart with the same word, a character whose text composes, glosses, scores that
// reorder and a long meaning: all that the parse joins, orders or keeps aside.
QByteArray fixtureDictionary()
{
    QByteArray text = "가나\t加\t더할 가\n가나\t家\t집 가\n수도\t水道\t물길\n수도\t首都\t서울\n사고\t思考\n사고\t事故\t일\n"
                      "사고가\t事故\n화\t火\t불 화\n화\t花\t꽃 화\n";
    for (int i = 0; i < 40; ++i) text += QString("단어%1\t字%1\t뜻 %1\n").arg(i).toUtf8();
    text += "가나\t佳\t아름다울 가\n"; // the word again, far from its lines
    text += QByteArray("\xe1\x84\x92\xe1\x85\xa1") + "\t下\t아래 하\n"; // 하, decomposed
    return text;
}
const QByteArray kFixtureScores = "가나\t家\t9\n가나\t佳\t3\n사고\t事故\t5\n# note\n";

QByteArray withLongMeaning(QByteArray text) { return text + "길다\t長\t" + QByteArray(70000, 'x') + "\n"; }

// Every word of the dictionary file and its glossable characters: both dictionaries answer alike.
void expectSame(HanjaDictionary& indexed, HanjaDictionary& parsed, const QByteArray& dictionary)
{
    indexed.loadIfNeeded();
    ASSERT_TRUE(indexed.isLoaded());
    EXPECT_EQ(indexed.keyCount(), parsed.keyCount());
    EXPECT_EQ(indexed.glossCount(), parsed.glossCount());
    EXPECT_EQ(indexed.scoreCount(), parsed.scoreCount());
    QSet<QString> words, characters;
    for (const QByteArray& line : dictionary.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 2) continue;
        words.insert(TextUtil::nfc(QString::fromUtf8(fields[0])));
        characters.insert(TextUtil::nfc(QString::fromUtf8(fields[1])));
    }
    QStringList differing;
    for (const QString& word : words)
        if (indexed.candidates(word) != parsed.candidates(word) || indexed.split(word) != parsed.split(word)) differing.append(word);
    for (const QString& c : characters)
        if (indexed.charGloss(c) != parsed.charGloss(c)) differing.append(c);
    EXPECT_TRUE(differing.isEmpty()) << differing.size() << " differ: " << qPrintable(differing.mid(0, 10).join(' '));
}

} // namespace

TEST(DictionaryIndexTest, TheShippedIndexServesExactlyWhatTheParseGives)
{
    const QString data = QStringLiteral(SORELWICK_BUILD_DATA_DIR);
    const QByteArray dictionary = contents(data + "/hanja.tsv");
    Log::Collector log;
    HanjaDictionary indexed(data);
    indexed.loadIfNeeded();
    EXPECT_FALSE(log.contains("hanja.index not used")) << qPrintable(log.lines().join('\n'));
    HanjaDictionary parsed(HanjaDictionary::Texts{dictionary, contents(data + "/hanja_freq.tsv"),
                                                  contents(data + "/known_endings.tsv")});
    expectSame(indexed, parsed, dictionary);
}

TEST(DictionaryIndexTest, AnIndexKeepsWhatTheParseJoinsOrdersAndKeepsAside)
{
    const QByteArray dictionary = withLongMeaning(fixtureDictionary());
    DataDir dir;
    dir.write("hanja.tsv", dictionary).write("hanja_freq.tsv", kFixtureScores);
    dir.write("hanja.index", DictionaryIndex::build(dictionary, kFixtureScores));
    Log::Collector log;
    HanjaDictionary indexed(dir.path()), parsed(HanjaDictionary::Texts{dictionary, kFixtureScores});
    indexed.loadIfNeeded();
    EXPECT_FALSE(log.contains("hanja.index not used"));
    EXPECT_EQ(indexed.candidates("길다").value(0).meaning().size(), 70000);
    expectSame(indexed, parsed, dictionary);
}

TEST(DictionaryIndexTest, AnIndexOfOtherFilesIsNotUsedAndTheFilesAreRead)
{
    const QByteArray dictionary = fixtureDictionary();
    const QByteArray index = DictionaryIndex::build(dictionary, kFixtureScores);
    QByteArray oneByteOff = dictionary;
    oneByteOff[oneByteOff.indexOf("加") + 2] = char(0xA1); // 加 → 务, same size
    QByteArray scoreOff = kFixtureScores;
    scoreOff[scoreOff.indexOf("9")] = '0'; // 家 no longer first
    const struct {
        QByteArray dictionary;
        std::optional<QByteArray> scores;
        QStringList firstOfGana;
    } cases[] = {{oneByteOff, kFixtureScores, {"家", "佳", "务"}},
                 {dictionary, scoreOff, {"佳", "加", "家"}},
                 {dictionary, std::nullopt, {"加", "家", "佳"}}};
    for (const auto& c : cases) {
        DataDir dir;
        dir.write("hanja.tsv", c.dictionary).write("hanja.index", index);
        if (c.scores) dir.write("hanja_freq.tsv", *c.scores);
        HanjaDictionary dict(dir.path()); // the entries' texts live in it
        QStringList gana;
        for (const HanjaEntry& e : dict.candidates("가나")) gana.append(e.hanja().toString());
        EXPECT_EQ(gana, c.firstOfGana);
    }
}

TEST(DictionaryIndexTest, ADamagedIndexIsRefusedWhereverItIsDamaged)
{
    const QByteArray dictionary = fixtureDictionary();
    const QByteArray index = DictionaryIndex::build(dictionary, kFixtureScores);
    const DictionaryIndex::Sources sources = DictionaryIndex::sourcesOf(dictionary, kFixtureScores);
    const auto read = [&](const QByteArray& bytes) {
        auto kept = std::make_shared<QByteArray>(bytes);
        return DictionaryIndex::read(*kept, kept, sources);
    };
    // Any flipped bit: refused, by the header's checks or the checksum. The index read whole, and what
    // the records' own checks stand against once the checksum is made to match, are the index fuzz
    // target's.
    for (qsizetype i = 0; i < index.size(); ++i) {
        QByteArray flipped = index;
        flipped[i] = char(flipped[i] ^ (1 << (i % 8)));
        EXPECT_FALSE(read(flipped).data) << "byte " << i;
    }

    // Through the dictionary: a line that says why, and the files parsed instead.
    QByteArray flipped = index;
    flipped[index.size() / 2] = char(flipped[index.size() / 2] ^ 0x10);
    const QByteArray damaged[] = {index.first(index.size() - 1), index.first(100), QByteArray(), flipped};
    for (const QByteArray& bytes : damaged) {
        DataDir dir;
        dir.write("hanja.tsv", dictionary).write("hanja_freq.tsv", kFixtureScores).write("hanja.index", bytes);
        Log::Collector log;
        HanjaDictionary dict(dir.path());
        EXPECT_EQ(dict.candidates("가나").value(0).hanja(), u"家");
        EXPECT_EQ(log.count("hanja.index not used (damaged ("), 1) << qPrintable(log.lines().join('\n'));
    }
}
