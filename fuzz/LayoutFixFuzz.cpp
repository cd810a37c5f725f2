// The keyboard-layout fix on any text: no crash, and the round trips the 2-set layout guarantees.
#include "FuzzSupport.h"

#include "base/TextUtil.h"
#include "core/KeyboardLayoutFix.h"

namespace {

// Text that reaches Korean quickly from few bytes: bytes below 0x80 are ASCII; 0x80 to 0xDD are
// the 94 compatibility jamo; 0xDE to 0xFF take the next byte too and give a Hangul syllable.
QString koreanText(const uint8_t* data, size_t size)
{
    QString out;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        if (b < 0x80) {
            out += QChar(b);
        } else if (b < 0xDE) {
            out += QChar(char16_t(0x3131 + (b - 0x80)));
        } else {
            const unsigned next = i + 1 < size ? data[++i] : 0;
            out += QChar(char16_t(0xAC00 + ((b - 0xDE) * 256u + next) * 331u % 11172u));
        }
    }
    return out;
}

bool isSyllable(QChar c) { return c.unicode() >= 0xAC00 && c.unicode() <= 0xD7A3; }
// ㆍ (U+318D) has no key: official text writes it for the middle dot, and it bounds a run.
bool isJamo(QChar c) { return c.unicode() >= 0x3131 && c.unicode() <= 0x318E && c.unicode() != 0x318D; }
bool isHangulLetter(QChar c) { return isSyllable(c) || isJamo(c); }

void checkSuggestion(const QString& text)
{
    const auto suggestion = KeyboardLayoutFix::suggest(text);
    if (!suggestion) return;
    const QString& out = suggestion->text;
    FUZZ_CHECK(!out.isEmpty(), Fuzz::show(text));
    if (suggestion->kind == KeyboardLayoutFix::Suggestion::Kind::korean) {
        // What was offered is what the keys type, and it holds a syllable.
        FUZZ_CHECK(std::any_of(out.begin(), out.end(), isSyllable), Fuzz::show(text) + " -> " + Fuzz::show(out));
        const QString composed = TextUtil::trimmed(text).normalized(QString::NormalizationForm_C);
        FUZZ_CHECK(KeyboardLayoutFix::englishToKorean(composed) == out, Fuzz::show(text));
    } else {
        // Archaic jamo have no key and stay; syllables always have keys.
        FUZZ_CHECK(std::none_of(out.begin(), out.end(), isSyllable), Fuzz::show(text) + " -> " + Fuzz::show(out));
    }
}

void checkTypoRun(const QString& full, TextRange selection)
{
    const auto run = KeyboardLayoutFix::typoRun(full, selection);
    if (!run) return;
    const QString detail = Fuzz::show(full) + QStringLiteral(" at %1+%2").arg(selection.location).arg(selection.length);
    FUZZ_CHECK(run->location >= 0 && run->end() <= full.size(), detail);
    FUZZ_CHECK(run->location <= selection.location && run->end() >= selection.end(), detail);
    FUZZ_CHECK(*run != selection, detail);
    const QString text = full.mid(run->location, run->length);
    FUZZ_CHECK(std::all_of(text.begin(), text.end(), isHangulLetter), detail);
    // Widened as far as the Hangul goes.
    FUZZ_CHECK(run->location == 0 || !isHangulLetter(full[run->location - 1]), detail);
    FUZZ_CHECK(run->end() == full.size() || !isHangulLetter(full[run->end()]), detail);
    const auto suggestion = KeyboardLayoutFix::suggest(text);
    FUZZ_CHECK(suggestion && suggestion->kind == KeyboardLayoutFix::Suggestion::Kind::english, detail);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    // Two bytes choose a selection; the rest is the text, read two ways.
    const QString text = koreanText(data + 2, size - 2);
    const QString utf8 = QString::fromUtf8(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));

    for (const QString& t : {text, utf8}) {
        KeyboardLayoutFix::englishToKorean(t);
        KeyboardLayoutFix::koreanToEnglish(t);
        checkSuggestion(t);
        const qint64 location = qint64(data[0] % (t.size() + 3)) - 1;
        const qint64 length = qint64(data[1] % (t.size() + 3)) - 1;
        checkTypoRun(t, TextRange{location, length});
    }

    // Keys to Korean and back: ASCII text comes back as it was typed (keys that type nothing on
    // the Korean layout stay as they are both ways).
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        if (const auto korean = KeyboardLayoutFix::englishToKorean(text)) {
            const auto back = KeyboardLayoutFix::koreanToEnglish(*korean);
            FUZZ_CHECK(back && *back == text, Fuzz::show(text) + " -> " + Fuzz::show(*korean));
        }
    }

    // Korean to keys and back: complete syllables are typed again as they were.
    QString syllables;
    for (QChar c : text)
        if (isSyllable(c)) syllables += c;
    if (!syllables.isEmpty()) {
        const auto keys = KeyboardLayoutFix::koreanToEnglish(syllables);
        FUZZ_CHECK(keys.has_value(), Fuzz::show(syllables));
        const auto again = KeyboardLayoutFix::englishToKorean(*keys);
        FUZZ_CHECK(again && *again == syllables, Fuzz::show(syllables) + " -> " + Fuzz::show(*keys));
    }
    return 0;
}
