// The reader of seen_compounds.tsv against a plain reading of its rules, written for clarity and
// nothing else: split at LF (a CR before it belongs to the line end); empty lines and "#" lines
// are no lines; a line counts when it is valid UTF-8 and has three or four TAB-separated fields: a
// word of three Hangul syllables or more, a spelling of as many characters, a count of decimal
// digits from 1 to 2^32 - 1, and a share of decimal digits from 0 to 2^32 - 2. Every other line is
// skipped and reported, by its number. A word's spellings come most seen first, ties in file
// order, whatever the order of the file; its share is its first spelling's.
#include "FuzzSupport.h"

#include "core/dictionary/SeenCompounds.h"

#include <QMap>
#include <QRegularExpression>

#include <algorithm>

namespace {

struct Pair {
    QByteArray hanja;
    quint64 count;
    std::optional<quint64> share;
};

std::optional<quint64> number(const QByteArray& field, quint64 least, quint64 most)
{
    static const QRegularExpression digits(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+")));
    bool ok = false;
    const quint64 value = field.toULongLong(&ok);
    if (!ok || !digits.match(QString::fromLatin1(field)).hasMatch() || value < least || value > most) return std::nullopt;
    return value;
}

std::optional<quint64> count(const QByteArray& field) { return number(field, 1, 0xFFFFFFFFull); }
std::optional<quint64> share(const QByteArray& field) { return number(field, 0, 0xFFFFFFFEull); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = Fuzz::bytes(data, size);
    QMap<QByteArray, QList<Pair>> want; // by word; in file order
    QList<qsizetype> skipped;
    qsizetype number = 0;
    for (QByteArray line : input.split('\n')) {
        ++number;
        if (line.endsWith('\r')) line.chop(1);
        if (line.isEmpty() || line.startsWith('#')) continue;
        const QList<QByteArray> fields = line.split('\t');
        bool ok = (fields.size() == 3 || fields.size() == 4) && Fuzz::validUtf8(line);
        if (ok) {
            static const QRegularExpression syllables(QRegularExpression::anchoredPattern(QStringLiteral("[\uAC00-\uD7A3]{3,}")));
            const QString word = QString::fromUtf8(fields[0]);
            const QString hanja = QString::fromUtf8(fields[1]);
            ok = syllables.match(word).hasMatch() && hanja.toUcs4().size() == word.size() && count(fields[2])
                && (fields.size() == 3 || share(fields[3]));
        }
        if (ok) want[fields[0]].append({fields[1], *count(fields[2]), fields.size() == 4 ? share(fields[3]) : std::nullopt});
        else skipped.append(number);
    }

    SeenCompounds seen;
    const QList<SeenCompounds::Skipped> got = seen.read(input);
    const QString detail = QStringLiteral("seen_compounds.tsv %1").arg(Fuzz::show(QString::fromUtf8(input)));
    QList<qsizetype> gotLines;
    for (const SeenCompounds::Skipped& s : got) gotLines.append(s.line);
    FUZZ_CHECK(gotLines == skipped, detail + QStringLiteral("\nskipped lines differ"));
    qsizetype pairs = 0;
    for (auto it = want.begin(); it != want.end(); ++it) {
        QList<Pair> list = it.value();
        pairs += list.size();
        std::stable_sort(list.begin(), list.end(), [](const Pair& a, const Pair& b) { return a.count > b.count; });
        const QList<SeenCompounds::Spelling> spellings = seen.spellings(it.key(), int(list.size()) + 1);
        const QString word = detail + QStringLiteral("\nword ") + Fuzz::show(QString::fromUtf8(it.key()));
        FUZZ_CHECK(spellings.size() == list.size(), word);
        for (qsizetype i = 0; i < list.size(); ++i)
            FUZZ_CHECK(spellings[i].hanja == QString::fromUtf8(list[i].hanja) && spellings[i].count == list[i].count, word);
        FUZZ_CHECK(seen.contains(it.key()), word);
        const std::optional<quint32> gotShare = seen.stemShare(it.key());
        FUZZ_CHECK(gotShare.has_value() == list[0].share.has_value() && (!gotShare || *gotShare == *list[0].share), word);
    }
    FUZZ_CHECK(seen.size() == pairs, detail);
    return 0;
}
