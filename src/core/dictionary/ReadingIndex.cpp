#include "core/dictionary/ReadingIndex.h"

#include "base/TextUtil.h"
#include "core/dictionary/ContentHash.h"
#include "core/dictionary/DictionaryLoader.h"
#include "core/dictionary/InitialSound.h"

#include <QHash>
#include <QList>
#include <QStringDecoder>
#include <QStringView>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

struct Reading {
    QString hangul;
    double weight = 0;
    qsizetype order = 0; // of first appearance
    bool seen = false;   // from the seen compounds: after the dictionary's
    int uses = 0;        // for a character: the words that read it so
    bool listed = false; // a line of the dictionary has it
};

struct Word {
    QString hanja;
    QList<Reading> readings;
};

QList<QStringView> linesOf(const QString& text)
{
    QList<QStringView> lines;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (!line.isEmpty()) lines.append(line);
    }
    return lines;
}

// The code points of text, or empty unless each is a Han ideograph.
QList<char32_t> hanOf(const QString& text)
{
    QList<char32_t> out;
    for (char32_t c : text.toUcs4()) {
        if (!ReadingIndex::isHan(c)) return {};
        out.append(c);
    }
    return out;
}

bool allSyllables(QStringView text)
{
    if (text.isEmpty()) return false;
    for (QChar c : text)
        if (!TextUtil::isHangulSyllable(c.unicode())) return false;
    return true;
}

class Builder {
public:
    // A reading of a word; a repeated one keeps its first place and its weight grows.
    Reading& add(const QString& hanja, const QString& hangul, bool seen)
    {
        auto it = m_byHanja.constFind(hanja);
        if (it == m_byHanja.constEnd()) {
            it = m_byHanja.insert(hanja, m_words.size());
            m_words.append(Word{hanja, {}});
        }
        QList<Reading>& readings = m_words[*it].readings;
        for (Reading& r : readings)
            if (r.hangul == hangul) return r;
        readings.append(Reading{hangul, 0, m_order++, seen});
        return readings.last();
    }
    Word* find(const QString& hanja)
    {
        const auto it = m_byHanja.constFind(hanja);
        return it == m_byHanja.constEnd() ? nullptr : &m_words[*it];
    }
    QByteArray text()
    {
        QString out;
        for (Word& w : m_words) {
            std::stable_sort(w.readings.begin(), w.readings.end(), [](const Reading& a, const Reading& b) {
                if (a.seen != b.seen) return !a.seen;
                if (a.weight != b.weight) return a.weight > b.weight;
                return a.order < b.order;
            });
            for (const Reading& r : w.readings) {
                // A character's reading that only one word has and that no line of its own lists
                // is more likely a slip of that word's line than a reading.
                if (r.uses == 1 && !r.listed) continue;
                out += w.hanja + QLatin1Char('\t') + r.hangul + QLatin1Char('\n');
            }
        }
        return out.toUtf8();
    }

private:
    QList<Word> m_words;
    QHash<QString, qsizetype> m_byHanja;
    qsizetype m_order = 0;
};

} // namespace

QByteArray ReadingIndex::reversedLines(const Files& files)
{
    QHash<QString, double> scores;
    if (files.scores) {
        const QString text = QString::fromUtf8(*files.scores);
        for (QStringView line : linesOf(text)) {
            if (line.startsWith(QLatin1Char('#'))) continue;
            const QList<QStringView> f = line.split(QLatin1Char('\t'), Qt::SkipEmptyParts);
            bool ok = false;
            const double score = f.size() == 3 ? f[2].toDouble(&ok) : 0;
            if (ok) scores.insert(TextUtil::nfc(f[0].toString() + QLatin1Char('\t') + f[1].toString()), score);
        }
    }
    Builder builder;
    struct Use {
        QString character;
        QChar syllable, before; // before: the word's syllable ahead of it, none at the start
        double weight;
    };
    QList<Use> uses;
    QStringDecoder decode(QStringDecoder::Utf8);
    const QString dictionary = decode(files.dictionary);
    if (decode.hasError()) return {}; // left to the dictionary's own load, which says where
    for (QStringView line : linesOf(dictionary)) {
        const QList<QStringView> f = line.split(QLatin1Char('\t'));
        if (f.size() < 2) continue;
        const QString hangul = TextUtil::nfc(f[0].toString()), hanja = TextUtil::nfc(f[1].toString());
        const QList<char32_t> chars = hanOf(hanja);
        if (!allSyllables(hangul) || chars.isEmpty() || chars.size() != hangul.size()) continue;
        const double score = scores.value(hangul + QLatin1Char('\t') + hanja);
        Reading& r = builder.add(hanja, hangul, false);
        r.listed = true;
        if (chars.size() > 1 && r.weight == 0) r.weight = score; // a word's score once
        else if (chars.size() == 1) r.weight += std::log1p(score);
        // Each word counts, a common one more, but not by its score alone: a rare spelling of a
        // common Hangul word (아시 阿氏) would outweigh all the words of the character's usual reading.
        for (qsizetype i = 0; chars.size() > 1 && i < chars.size(); ++i)
            uses.append(Use{QString::fromUcs4(&chars[i], 1), hangul[i], i ? hangul[i - 1] : QChar(), 1 + std::log1p(score)});
    }
    // A character's readings by its words: the rules' forms count for the listed reading they come from.
    for (const Use& u : uses) {
        QChar reading = u.syllable;
        if (Word* w = builder.find(u.character)) {
            for (const Reading& r : std::as_const(w->readings)) {
                const char16_t own = r.hangul.at(0).unicode();
                if (r.listed && r.hangul.size() == 1 && own != u.syllable.unicode()
                    && (u.before.isNull() ? InitialSound::atWordStart(own)
                                          : InitialSound::afterSyllable(u.before.unicode(), own)) == u.syllable.unicode()) {
                    reading = r.hangul.at(0);
                    break;
                }
            }
        }
        Reading& r = builder.add(u.character, QString(reading), false);
        r.weight += u.weight;
        ++r.uses;
    }
    if (files.seen) {
        const QString text = QString::fromUtf8(*files.seen);
        for (QStringView line : linesOf(text)) {
            if (line.startsWith(QLatin1Char('#'))) continue;
            const QList<QStringView> f = line.split(QLatin1Char('\t'));
            if (f.size() < 3) continue;
            const QString hangul = TextUtil::nfc(f[0].toString()), hanja = TextUtil::nfc(f[1].toString());
            const QList<char32_t> chars = hanOf(hanja);
            if (!allSyllables(hangul) || chars.isEmpty() || chars.size() != hangul.size()) continue;
            Reading& r = builder.add(hanja, hangul, true);
            r.weight += f[2].toDouble();
            r.listed = true;
        }
    }
    return builder.text();
}

DictionaryIndex::Sources ReadingIndex::sourcesOf(const Files& files)
{
    const auto hash = [](std::optional<QByteArrayView> b, quint64 seed) {
        return b ? ContentHash::hash(reinterpret_cast<const unsigned char*>(b->data()), size_t(b->size()), seed) : seed;
    };
    DictionaryIndex::Sources s = DictionaryIndex::sourcesOf(files.dictionary, std::nullopt);
    s.scoresSize = quint64(files.scores ? files.scores->size() : 0) + quint64(files.seen ? files.seen->size() : 0);
    s.scoresHash = hash(files.seen, hash(files.scores, 0));
    return s;
}

std::unique_ptr<DictionaryData> ReadingIndex::load(const Files& files)
{
    const QByteArray lines = reversedLines(files);
    if (lines.isEmpty()) return nullptr;
    return DictionaryLoader::build(lines, std::nullopt).data;
}

QByteArray ReadingIndex::build(const Files& files)
{
    const std::unique_ptr<DictionaryData> data = load(files);
    return data ? DictionaryIndex::write(*data, sourcesOf(files)) : QByteArray();
}
