#include "core/ReadingText.h"

#include "base/TextUtil.h"
#include "core/ReplacementFormat.h"
#include "core/dictionary/InitialSound.h"
#include "core/dictionary/ReadingIndex.h"

namespace {

char32_t codePointAt(QStringView text, qsizetype i, qsizetype* size)
{
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        *size = 2;
        return QChar::surrogateToUcs4(text[i], text[i + 1]);
    }
    *size = 1;
    return text[i].unicode();
}

qsizetype codePoints(QStringView text) { return qsizetype(text.toUcs4().size()); }

// The Hangul syllables that end text, up to `count` of them; fewer when the run is shorter.
qsizetype trailingSyllables(QStringView text, qsizetype count)
{
    qsizetype k = 0;
    while (k < count && k < text.size() && TextUtil::isHangulSyllable(text[text.size() - 1 - k].unicode())) ++k;
    return k;
}

// Whether the Hangul may be the Hanja's reading: each syllable one of its character's readings, by
// the initial-sound rule or not (a character the dictionary does not know may read as anything).
bool readsAs(const QString& hanja, QStringView hangul, HanjaDictionary& dictionary)
{
    // What the reader itself writes for the run reads back, whichever rule made it (不 as 부
    // before ㄷ and ㅈ, where the dictionary may list only 불).
    QString own;
    for (const HanjaDictionary::ReadingPiece& p : dictionary.readHanja(hanja)) own += p.readings.first();
    if (own == hangul) return true;
    const auto plain = [](QChar s) { return QChar(InitialSound::atWordStart(s.unicode())); };
    qsizetype k = 0;
    for (qsizetype i = 0; i < hanja.size() && k < hangul.size(); ++k) {
        const qsizetype size = hanja[i].isHighSurrogate() && i + 1 < hanja.size() ? 2 : 1;
        const QList<HanjaDictionary::ReadingPiece> pieces = dictionary.readHanja(QStringView(hanja).sliced(i, size));
        i += size;
        if (pieces.isEmpty() || !pieces.first().known) continue;
        bool matches = false;
        for (const QString& r : pieces.first().readings) matches = matches || plain(r.at(0)) == plain(hangul[k]);
        if (!matches) return false;
    }
    return true;
}

QString written(const ReadingText::Word& w, ReadingText::Form form, const QString& hangul)
{
    switch (form) {
    case ReadingText::Form::hangul: return hangul;
    case ReadingText::Form::hangulParenHanja: return ReplacementFormat::example(ReplacementFormat::Format::hangulParenHanja, hangul, w.hanja);
    case ReadingText::Form::hanjaParenHangul: return ReplacementFormat::example(ReplacementFormat::Format::hanjaParenHangul, hangul, w.hanja);
    case ReadingText::Form::hanjaOnly: return w.hanja;
    }
    return hangul;
}

} // namespace

bool ReadingText::Reading::anyBare() const
{
    for (const Word& w : words)
        if (!w.pieces.isEmpty()) return true;
    return false;
}

bool ReadingText::hasHan(QStringView text)
{
    for (char32_t c : text.toUcs4())
        if (ReadingIndex::isHan(c)) return true;
    return false;
}

ReadingText::Reading ReadingText::read(const QString& text, HanjaDictionary& dictionary)
{
    Reading out;
    QString kept; // text not yet put in a piece
    const auto flush = [&] {
        if (!kept.isEmpty()) out.pieces.append(Piece{kept, -1});
        kept.clear();
    };
    const auto addWord = [&](Word w) {
        flush();
        out.pieces.append(Piece{QString(), int(out.words.size())});
        out.words.append(std::move(w));
    };
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype size = 0;
        if (!ReadingIndex::isHan(codePointAt(text, i, &size))) {
            kept += QStringView(text).sliced(i, size);
            i += size;
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && ReadingIndex::isHan(codePointAt(text, end, &size))) end += size;
        QString run = text.sliced(i, end - i);
        qsizetype count = codePoints(run);
        // 首都(수도): the Hangul in parentheses after it, a syllable a character. It may cover only
        // the run's last characters (民國(국) where 民 has no reading): the rest is read bare first.
        if (end < text.size() && text[end] == QLatin1Char('(')) {
            const qsizetype close = text.indexOf(QLatin1Char(')'), end + 1);
            const QStringView inside = close < 0 ? QStringView() : QStringView(text).sliced(end + 1, close - end - 1);
            const qsizetype n = inside.size();
            qsizetype tail = end;
            for (qsizetype k = 0; k < n && tail > i; ++k)
                tail -= tail - 2 >= i && text[tail - 1].isLowSurrogate() && text[tail - 2].isHighSurrogate() ? 2 : 1;
            const QString annotated = text.sliced(tail, end - tail);
            if (n > 0 && n <= count && trailingSyllables(inside, n) == n && readsAs(annotated, inside, dictionary)) {
                if (tail == i) {
                    addWord(Word{run, inside.toString(), Form::hanjaParenHangul, text.sliced(i, close + 1 - i), {}});
                    i = close + 1;
                    continue;
                }
                end = tail;
                run = text.sliced(i, end - i);
                count = codePoints(run);
            }
        }
        // 수도(首都): the syllables before the parenthesis, as many as there are characters.
        if (!kept.isEmpty() && kept.endsWith(QLatin1Char('(')) && end < text.size() && text[end] == QLatin1Char(')')
            && trailingSyllables(QStringView(kept).chopped(1), count) == count
            && readsAs(run, QStringView(kept).sliced(kept.size() - 1 - count, count), dictionary)) {
            const QString hangul = kept.sliced(kept.size() - 1 - count, count);
            kept.chop(count + 1);
            addWord(Word{run, hangul, Form::hangulParenHanja, hangul + QLatin1Char('(') + run + QLatin1Char(')'), {}});
            i = end + 1;
            continue;
        }
        // A bare run: read; a character no reading is known for stays as it is, between words.
        const bool startsWord = i == 0 || !(text[i - 1].isLetterOrNumber() || text[i - 1].isMark());
        const QList<HanjaDictionary::ReadingPiece> pieces = dictionary.readHanja(run, startsWord);
        Word w;
        const auto endWord = [&] {
            if (w.pieces.isEmpty()) return;
            w.source = w.hanja;
            addWord(std::move(w));
            w = Word{};
        };
        for (const HanjaDictionary::ReadingPiece& p : pieces) {
            if (!p.known) {
                endWord();
                kept += p.hanja;
                if (!out.unknown.contains(p.hanja)) out.unknown.append(p.hanja);
                continue;
            }
            w.hanja += p.hanja;
            w.hangul += p.readings.first();
            w.pieces.append(p);
        }
        endWord();
        i = end;
    }
    flush();
    return out;
}

QString ReadingText::write(const Reading& reading, Form form)
{
    QString out;
    for (const Piece& p : reading.pieces) out += p.word < 0 ? p.text : written(reading.words[p.word], form, reading.words[p.word].hangul);
    return out;
}

QString ReadingText::writeAlternative(const Reading& reading, int word, int piece, int alternative)
{
    QString out;
    for (const Piece& p : reading.pieces) {
        if (p.word != word) {
            out += p.word < 0 ? p.text : reading.words[p.word].hangul;
            continue;
        }
        const Word& w = reading.words[word];
        for (int k = 0; k < w.pieces.size(); ++k) out += w.pieces[k].readings.value(k == piece ? alternative : 0);
    }
    return out;
}

QString ReadingText::quotedWords(const Reading& reading)
{
    QString out;
    for (const Piece& p : reading.pieces)
        out += p.word < 0 ? p.text : QLatin1Char('"') + reading.words[p.word].source + QLatin1Char('"');
    return out;
}
