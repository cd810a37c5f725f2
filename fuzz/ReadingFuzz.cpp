// Reading Hanja in any text, over a small dictionary with the hard cases (words read otherwise
// than their characters, the initial-sound rule, an ambiguous character, compatibility
// ideographs, a character it does not know). The selection is taken apart with nothing lost (so
// no run's pieces lose or repeat a character), every Hanja it knows is read in the Hangul form, and
// text already in an annotated form reads back as the same text when written in that form again.
// Input: bytes below 0x20 pick a Hanja, 0x20 to 0x7F are ASCII (parentheses among them), bytes
// from 0x80 pick a Hangul syllable; the bytes are also read as UTF-8.
#include "FuzzSupport.h"

#include "core/ReadingText.h"
#include "core/dictionary/HanjaDictionary.h"

namespace {

const char16_t* const kHanja[] = {u"首", u"都", u"音", u"樂", u"快", u"女", u"子", u"男", u"勞", u"動", u"勤",
                                  u"李", u"金", u"不", u"足", u"列", u"復", u"活", u"反", u"大", u"韓", u"國",
                                  u"\uF914", u"\uF9E1", u"鬱", u"\U00020000", u"年"};
const char16_t kSyllables[] = u"수도음악쾌락요여녀자남노로동근이리김금부불족열렬복활반대한국는의서울년";

HanjaDictionary& dictionary()
{
    static HanjaDictionary dict(HanjaDictionary::Texts{
        QByteArray("수도\t首都\n음악\t音樂\n쾌락\t快樂\n부활\t復活\n반복\t反復\n여자\t女子\n남녀\t男女\n"
                   "노동\t勞動\n근로\t勤勞\n대한\t大韓\n한국\t韓國\n부족\t不足\n"
                   "수\t首\t머리 수\n도\t都\t도읍 도\n음\t音\t소리 음\n악\t樂\t노래 악\n락\t樂\t즐길 락\n"
                   "요\t樂\t좋아할 요\n쾌\t快\t쾌할 쾌\n녀\t女\t여자 녀\n자\t子\t아들 자\n남\t男\t사내 남\n"
                   "로\t勞\t일할 로\n동\t動\t움직일 동\n근\t勤\t부지런할 근\n리\t李\t오얏 리\n김\t金\t성 김\n"
                   "금\t金\t쇠 금\n불\t不\t아닐 불\n족\t足\t발 족\n렬\t列\t벌일 렬\n복\t復\t회복할 복\n"
                   "부\t復\t다시 부\n활\t活\t살 활\n반\t反\t돌이킬 반\n대\t大\t큰 대\n한\t韓\t나라 한\n"
                   "국\t國\t나라 국\n년\t年\t해 년\n"),
        QByteArray("음악\t音樂\t9\n쾌락\t快樂\t5\n")});
    return dict;
}

QString text(const uint8_t* data, size_t size)
{
    QString out;
    constexpr size_t kinds = sizeof(kHanja) / sizeof(kHanja[0]), syllables = sizeof(kSyllables) / 2 - 1;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        if (b < 0x20) out += QString::fromUtf16(kHanja[b % kinds]);
        else if (b < 0x80) out += QChar(b);
        else out += QChar(kSyllables[(b - 0x80) % syllables]);
    }
    return out;
}

bool knownHan(const QString& text, const QStringList& unknown)
{
    for (const char32_t point : text.toUcs4()) {
        const QString c = QString::fromUcs4(&point, 1);
        if (ReadingText::hasHan(c) && !unknown.contains(c)) return true;
    }
    return false;
}

void check(const QString& selection)
{
    using ReadingText::Form;
    HanjaDictionary& dict = dictionary();
    const QString detail = Fuzz::show(selection);
    const ReadingText::Reading reading = ReadingText::read(selection, dict);
    QString whole;
    for (const ReadingText::Piece& p : reading.pieces) {
        FUZZ_CHECK(p.word < qsizetype(reading.words.size()), detail);
        whole += p.word < 0 ? p.text : reading.words[p.word].source;
    }
    FUZZ_CHECK(whole == selection, detail + " taken apart as " + Fuzz::show(whole));

    FUZZ_CHECK(!knownHan(ReadingText::write(reading, Form::hangul), reading.unknown), detail);
    for (int w = 0; w < reading.words.size(); ++w) {
        const ReadingText::Word& word = reading.words[w];
        FUZZ_CHECK(!word.hanja.isEmpty() && !word.hangul.isEmpty(), detail);
        for (int p = 0; p < word.pieces.size(); ++p) {
            FUZZ_CHECK(word.pieces[p].known && !word.pieces[p].readings.isEmpty(), detail);
            for (int r = 1; r < word.pieces[p].readings.size(); ++r)
                FUZZ_CHECK(!knownHan(ReadingText::writeAlternative(reading, w, p, r), reading.unknown), detail);
        }
    }

    // A pick of the form the text is in already changes nothing.
    for (const Form form : {Form::hangulParenHanja, Form::hanjaParenHangul}) {
        const QString written = ReadingText::write(reading, form);
        FUZZ_CHECK(ReadingText::write(ReadingText::read(written, dict), form) == written, detail + " -> " + Fuzz::show(written));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 256) return 0; // a selection, not a book
    check(text(data, size));
    check(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
