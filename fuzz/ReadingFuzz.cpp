// Reading Hanja in any text, over a small dictionary with the hard cases (words read otherwise
// than their characters, the initial-sound rule, an ambiguous character, compatibility
// ideographs, a character it does not know). The selection is taken apart with nothing lost,
// every Hanja it knows is read in the Hangul form, a run reads as its pieces, and text already in
// an annotated form reads back as the same text when written in that form again.
// Input: bytes below 0x20 pick a Hanja, 0x20 to 0x7F are ASCII (parentheses among them), bytes
// from 0x80 pick a Hangul syllable; the bytes are also read as UTF-8.
#include "FuzzSupport.h"

#include "core/ReadingText.h"
#include "core/dictionary/ReadingIndex.h"

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
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const QString c = text.sliced(i, pair ? 2 : 1);
        if (pair) ++i;
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
        QString joined;
        for (int p = 0; p < word.pieces.size(); ++p) {
            joined += word.pieces[p].hanja;
            FUZZ_CHECK(word.pieces[p].known && !word.pieces[p].readings.isEmpty(), detail);
            for (int r = 1; r < word.pieces[p].readings.size(); ++r)
                FUZZ_CHECK(!knownHan(ReadingText::writeAlternative(reading, w, p, r), reading.unknown), detail);
        }
        FUZZ_CHECK(word.pieces.isEmpty() || joined == word.hanja, detail);
    }

    // A pick of the form the text is in already changes nothing.
    for (const Form form : {Form::hangulParenHanja, Form::hanjaParenHangul}) {
        const QString written = ReadingText::write(reading, form);
        FUZZ_CHECK(ReadingText::write(ReadingText::read(written, dict), form) == written, detail + " -> " + Fuzz::show(written));
    }

    // Each run of Hanja reads as its pieces, each of them read.
    const QList<uint> points = selection.toUcs4();
    for (qsizetype i = 0; i < points.size();) {
        qsizetype end = i;
        while (end < points.size() && ReadingIndex::isHan(points[end])) ++end;
        if (end == i) {
            ++i;
            continue;
        }
        const QString run = QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData() + i), end - i);
        QString joined;
        for (const auto& p : dict.readHanja(run, i == 0)) {
            joined += p.hanja;
            FUZZ_CHECK(!p.readings.isEmpty() && (p.known || p.readings == QStringList{p.hanja}), Fuzz::show(run));
        }
        FUZZ_CHECK(joined == run, Fuzz::show(run) + " read as " + Fuzz::show(joined));
        i = end;
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
