#include "core/KeyboardLayoutFix.h"
#include "core/KeyboardLayoutFixTables.h"
#include "base/TextUtil.h"

#include <QTextBoundaryFinder>

namespace {

using namespace KeyboardLayoutFixDetail;

// Unicode white space plus the line and paragraph breaks, as TextUtil::trimmed sees them.
bool isBlank(char32_t c) { return QChar::isSpace(c); }

// Calls f(scalar) for every Unicode scalar of text; an unpaired surrogate counts as itself.
template <typename F>
void forEachScalar(QStringView text, F&& f)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
            f(char32_t(QChar::surrogateToUcs4(u, text[i + 1].unicode())));
            ++i;
        } else {
            f(char32_t(u));
        }
    }
}

// Calls f(start, length) for every user-perceived character (grapheme cluster) of text.
template <typename F>
void forEachCharacter(const QString& text, F&& f)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = finder.toNextBoundary();
        if (end <= start) // no boundary found: the rest is one character
            end = text.size();
        f(start, end - start);
        start = end;
    }
}

} // namespace

KeyboardLayoutFix::Tables::Tables()
{
    choIndex.fill(-1);
    jungIndex.fill(-1);
    jongIndex.fill(-1);

    static constexpr std::pair<char, char16_t> keyPairs[] = {
        {'q', u'ㅂ'}, {'w', u'ㅈ'}, {'e', u'ㄷ'}, {'r', u'ㄱ'}, {'t', u'ㅅ'}, {'y', u'ㅛ'}, {'u', u'ㅕ'},
        {'i', u'ㅑ'}, {'o', u'ㅐ'}, {'p', u'ㅔ'}, {'a', u'ㅁ'}, {'s', u'ㄴ'}, {'d', u'ㅇ'}, {'f', u'ㄹ'},
        {'g', u'ㅎ'}, {'h', u'ㅗ'}, {'j', u'ㅓ'}, {'k', u'ㅏ'}, {'l', u'ㅣ'}, {'z', u'ㅋ'}, {'x', u'ㅌ'},
        {'c', u'ㅊ'}, {'v', u'ㅍ'}, {'b', u'ㅠ'}, {'n', u'ㅜ'}, {'m', u'ㅡ'}, {'Q', u'ㅃ'}, {'W', u'ㅉ'},
        {'E', u'ㄸ'}, {'R', u'ㄲ'}, {'T', u'ㅆ'}, {'O', u'ㅒ'}, {'P', u'ㅖ'},
    };
    for (auto [key, jamo] : keyPairs)
        qwertyToJamo[uchar(key)] = jamo;
    // The inverse: first come, first kept; then the lowercase keys again, overwriting, so that
    // where two keys type one jamo the unshifted key wins.
    for (auto [key, jamo] : keyPairs)
        if (!jamoToQwerty[offset(jamo)])
            jamoToQwerty[offset(jamo)] = char16_t(key);
    for (auto [key, jamo] : keyPairs)
        if (key >= 'a' && key <= 'z')
            jamoToQwerty[offset(jamo)] = char16_t(key);

    for (int i = 0; choseongLiteral[i]; ++i)
        choIndex[offset(choseongLiteral[i])] = qint8(i);
    for (int i = 0; jungseongLiteral[i]; ++i)
        jungIndex[offset(jungseongLiteral[i])] = qint8(i);
    for (int i = 1; jongseongLiteral[i]; ++i) // position 0, the space, means "no final"
        jongIndex[offset(jongseongLiteral[i])] = qint8(i);

    static constexpr std::array<char16_t, 3> vowelTriples[] = {
        {u'ㅗ', u'ㅏ', u'ㅘ'}, {u'ㅗ', u'ㅐ', u'ㅙ'}, {u'ㅗ', u'ㅣ', u'ㅚ'}, {u'ㅜ', u'ㅓ', u'ㅝ'},
        {u'ㅜ', u'ㅔ', u'ㅞ'}, {u'ㅜ', u'ㅣ', u'ㅟ'}, {u'ㅡ', u'ㅣ', u'ㅢ'},
    };
    for (auto t : vowelTriples) {
        vowelCompose[jungIndex[offset(t[0])]][jungIndex[offset(t[1])]] = t[2];
        vowelDecompose[offset(t[2])] = {t[0], t[1]};
    }
    static constexpr std::array<char16_t, 3> finalTriples[] = {
        {u'ㄱ', u'ㅅ', u'ㄳ'}, {u'ㄴ', u'ㅈ', u'ㄵ'}, {u'ㄴ', u'ㅎ', u'ㄶ'}, {u'ㄹ', u'ㄱ', u'ㄺ'},
        {u'ㄹ', u'ㅁ', u'ㄻ'}, {u'ㄹ', u'ㅂ', u'ㄼ'}, {u'ㄹ', u'ㅅ', u'ㄽ'}, {u'ㄹ', u'ㅌ', u'ㄾ'},
        {u'ㄹ', u'ㅍ', u'ㄿ'}, {u'ㄹ', u'ㅎ', u'ㅀ'}, {u'ㅂ', u'ㅅ', u'ㅄ'},
    };
    for (auto t : finalTriples) {
        finalCompose[jongIndex[offset(t[0])]][jongIndex[offset(t[1])]] = t[2];
        finalDecompose[offset(t[2])] = {t[0], t[1]};
    }
}

const KeyboardLayoutFix::Tables& KeyboardLayoutFix::tables()
{
    static const Tables instance; // built on first use; initialisation is thread-safe
    return instance;
}

QString KeyboardLayoutFix::Suggestion::secondary() const
{
    return kind == Kind::korean ? QStringLiteral("영문 자판으로 친 한글") : QStringLiteral("한글 자판으로 친 영문");
}

QString KeyboardLayoutFix::compose(QStringView jamo)
{
    const Tables& t = tables();
    QString out;
    out.reserve(jamo.size());
    char16_t cho = 0, jung = 0, jong = 0;

    auto flush = [&] {
        if (cho && jung) {
            const int l = t.choIndex[Tables::offset(cho)];
            const int v = t.jungIndex[Tables::offset(jung)];
            const int f = jong ? qMax<int>(0, t.jongIndex[Tables::offset(jong)]) : 0;
            Q_ASSERT(l >= 0 && v >= 0);
            out += QChar(char16_t(syllableFirst + (l * 21 + v) * 28 + f));
        } else {
            if (cho)
                out += QChar(cho);
            if (jung)
                out += QChar(jung);
            if (jong)
                out += QChar(jong);
        }
        cho = jung = jong = 0;
    };

    const qsizetype n = jamo.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = jamo[i].unicode();
        const char16_t next = i + 1 < n ? jamo[i + 1].unicode() : 0;
        const bool nextIsVowel = next && t.isVowel(next);

        if (t.isVowel(c)) {
            if (!cho) {
                // Vowels never combine without an initial.
                flush();
                jung = c;
            } else if (!jung) {
                jung = c;
            } else {
                // A final is never held here: a consonant followed by a vowel always starts a syllable.
                const char16_t compound = t.vowelCompose[t.jungIndex[Tables::offset(jung)]][t.jungIndex[Tables::offset(c)]];
                if (compound) {
                    jung = compound;
                } else {
                    flush();
                    jung = c;
                }
            }
            continue;
        }

        if (!jung) {
            if (cho)
                flush();
            cho = c;
        } else if (!jong) {
            if (!t.isFinal(c) || nextIsVowel) {
                flush();
                cho = c;
            } else {
                jong = c;
            }
        } else {
            char16_t compound = 0;
            if (t.isFinal(c))
                compound = t.finalCompose[t.jongIndex[Tables::offset(jong)]][t.jongIndex[Tables::offset(c)]];
            if (compound && !nextIsVowel) {
                jong = compound;
            } else {
                flush();
                cho = c;
            }
        }
    }
    flush();
    return out;
}

void KeyboardLayoutFix::appendKeys(QString& out, QStringView character)
{
    const Tables& t = tables();
    if (character.size() == 1) {
        const char16_t c = character[0].unicode();
        if (const char16_t key = t.keyFor(c)) {
            out += QChar(key);
            return;
        }
        if (const auto [first, second] = t.decompose(c); first) {
            const char16_t k1 = t.keyFor(first), k2 = t.keyFor(second);
            out += QChar(k1 ? k1 : first);
            out += QChar(k2 ? k2 : second);
            return;
        }
    }
    out += character;
}

QString KeyboardLayoutFix::keys(QStringView character)
{
    QString out;
    appendKeys(out, character);
    return out;
}

std::optional<QString> KeyboardLayoutFix::englishToKorean(const QString& text)
{
    const Tables& t = tables();
    auto keyJamo = [&](QStringView ch) -> char16_t {
        return ch.size() == 1 && ch[0].unicode() < 128 ? t.qwertyToJamo[ch[0].unicode()] : 0;
    };

    QString out;
    out.reserve(text.size());
    QString pending;
    bool anyKey = false;
    forEachCharacter(text, [&](qsizetype start, qsizetype length) {
        const QStringView ch = QStringView(text).mid(start, length);
        if (const char16_t jamo = keyJamo(ch)) {
            pending += QChar(jamo);
            anyKey = true;
            return;
        }
        // A syllable never spans a character that is not a key.
        if (!pending.isEmpty()) {
            out += compose(pending);
            pending.truncate(0); // keeps the buffer for the next word
        }
        out += ch;
    });
    if (!anyKey)
        return std::nullopt;
    if (!pending.isEmpty())
        out += compose(pending);

    for (QChar c : std::as_const(out))
        if (isSyllable(c.unicode()))
            return out;
    return std::nullopt; // only bare jamo came out (consonants only, for example)
}

std::optional<QString> KeyboardLayoutFix::koreanToEnglish(const QString& text)
{
    const Tables& t = tables();
    QString out;
    out.reserve(text.size() * 3);
    bool converted = false;
    forEachCharacter(text, [&](qsizetype start, qsizetype length) {
        const QStringView ch = QStringView(text).mid(start, length);
        const char16_t first = ch[0].unicode();
        if (isSyllable(first)) {
            const int s = int(first - syllableFirst);
            appendKeys(out, QStringView(&Tables::choseongLiteral[s / 588], 1));
            appendKeys(out, QStringView(&Tables::jungseongLiteral[(s % 588) / 28], 1));
            if (s % 28)
                appendKeys(out, QStringView(&Tables::jongseongLiteral[s % 28], 1));
            // Marks that share the syllable's character are kept, not dropped.
            out += ch.mid(1);
            converted = true;
            return;
        }
        if (ch.size() == 1 && (t.keyFor(first) || t.decompose(first).first)) {
            appendKeys(out, ch);
            converted = true;
            return;
        }
        out += ch;
    });
    if (!converted)
        return std::nullopt;
    return out;
}

bool KeyboardLayoutFix::isWellFormed(QStringView text)
{
    qint64 letters = 0, jamo = 0;
    forEachScalar(text, [&](char32_t c) {
        if (!isBlank(c))
            ++letters;
        if (isJamo(c))
            ++jamo;
    });
    // jamo / letters < 0.2, in integers so that exactly a fifth is rejected without rounding doubt.
    return letters > 0 && jamo * 5 < letters;
}

std::optional<KeyboardLayoutFix::Suggestion> KeyboardLayoutFix::suggest(const QString& text)
{
    // Decomposed syllables (U+1103 U+1175) are the syllables they spell, not keys of their own.
    const QString trimmed = TextUtil::trimmed(text).normalized(QString::NormalizationForm_C);
    if (trimmed.isEmpty())
        return std::nullopt;

    qint64 hangul = 0, latin = 0, jamo = 0;
    forEachScalar(trimmed, [&](char32_t c) {
        if (isHangulLetter(c))
            ++hangul;
        if (isJamo(c))
            ++jamo;
        if (isLatinLetter(c))
            ++latin;
    });

    if (latin >= 1 && hangul == 0) {
        auto korean = englishToKorean(trimmed);
        if (!korean || !isWellFormed(*korean))
            return std::nullopt;
        return Suggestion {Suggestion::Kind::korean, *korean};
    }
    if (hangul >= 1 && latin == 0) {
        // Mostly complete syllables mean real Korean: offer only when jamo / hangul >= 0.3.
        if (jamo * 10 < hangul * 3)
            return std::nullopt;
        auto english = koreanToEnglish(trimmed);
        if (!english)
            return std::nullopt;
        return Suggestion {Suggestion::Kind::english, *english};
    }
    return std::nullopt;
}

std::optional<TextRange> KeyboardLayoutFix::typoRun(const QString& full, TextRange selection)
{
    const qint64 size = full.size();
    if (selection.length < 1 || selection.location < 0 || selection.location > size
        || selection.length > size - selection.location)
        return std::nullopt;

    auto hangulAt = [&](qint64 i) { return isHangulLetter(full[i].unicode()); };
    auto jamoAt = [&](qint64 i) { return isJamo(full[i].unicode()); };

    const qint64 selStart = selection.location;
    const qint64 selEnd = selection.location + selection.length;
    bool selectionHasJamo = false;
    for (qint64 i = selStart; i < selEnd; ++i) {
        if (!hangulAt(i))
            return std::nullopt;
        selectionHasJamo = selectionHasJamo || jamoAt(i);
    }
    // A single syllable may still be part of a larger typo; a longer selection must show a jamo itself.
    if (!selectionHasJamo && selection.length != 1)
        return std::nullopt;

    qint64 start = selStart;
    while (start > 0 && hangulAt(start - 1))
        --start;
    qint64 end = selEnd;
    while (end < size && hangulAt(end))
        ++end;
    if (start == selStart && end == selEnd)
        return std::nullopt;

    bool runHasJamo = selectionHasJamo;
    for (qint64 i = start; i < end && !runHasJamo; ++i)
        runHasJamo = jamoAt(i);
    if (!runHasJamo)
        return std::nullopt;

    const auto suggestion = suggest(full.mid(start, end - start));
    if (!suggestion || suggestion->kind != Suggestion::Kind::english)
        return std::nullopt;
    return TextRange {start, end - start};
}
