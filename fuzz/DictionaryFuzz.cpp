// The dictionary and frequency-table parser against a plain reading of the same rules, written
// for clarity and nothing else: split at LF (a CR before it belongs to the line end), fields at
// TAB, texts composed (NFC); in hanja.tsv empty fields are kept and lines with one field skipped,
// in hanja_freq.tsv "#" starts a comment, empty fields are dropped and only three-field lines with
// a plain decimal score count, the last score of a pair winning. Input: the dictionary's bytes,
// then after the first NUL byte the frequency table's (no NUL: no frequency table).
#include "FuzzSupport.h"

#include "core/dictionary/HanjaDictionary.h"

#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace {

struct Entry {
    QString hangul, hanja, meaning;
};

struct Reference {
    QMap<QString, QList<Entry>> index; // keys in any order; lists in file order
    QHash<QString, QString> gloss;
    QHash<QString, double> scores;
};

QList<QByteArray> lines(const QByteArray& text)
{
    QList<QByteArray> out;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        if (!line.isEmpty()) out.append(line);
    }
    return out;
}

QString text(const QByteArray& utf8) { return QString::fromUtf8(utf8).normalized(QString::NormalizationForm_C); }

int graphemes(const QString& s)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    int n = 0;
    while (finder.toNextBoundary() >= 0) ++n;
    return n;
}

bool spaceOrTab(QChar c) { return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space; }

std::optional<QString> glossOf(const QString& meaning)
{
    qsizetype start = 0;
    while (start < meaning.size() && meaning[start] == QLatin1Char(',')) ++start;
    qsizetype end = meaning.indexOf(QLatin1Char(','), start);
    if (end < 0) end = meaning.size();
    QString piece = meaning.mid(start, end - start);
    while (!piece.isEmpty() && spaceOrTab(piece.front())) piece.remove(0, 1);
    while (!piece.isEmpty() && spaceOrTab(piece.back())) piece.chop(1);
    if (piece.isEmpty()) return std::nullopt;
    return piece;
}

// Optional sign, digits with at most one point, optional exponent; finite. Longer than 64 bytes is
// no number to the loader either.
std::optional<double> score(const QByteArray& field)
{
    static const QRegularExpression number(
        QRegularExpression::anchoredPattern(QStringLiteral(R"([+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?)")));
    if (field.size() > 64 || !number.match(QString::fromLatin1(field)).hasMatch()) return std::nullopt;
    errno = 0;
    const double value = std::strtod(field.constData(), nullptr);
    if (errno == ERANGE || !std::isfinite(value)) return std::nullopt;
    return value;
}

Reference parse(const QByteArray& dictionary, const std::optional<QByteArray>& table)
{
    Reference r;
    for (const QByteArray& line : lines(dictionary)) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 2) continue;
        Entry e{text(fields[0]), text(fields[1]), fields.size() > 2 ? text(fields[2]) : QString()};
        r.index[e.hangul].append(e);
        if (graphemes(e.hanja) == 1 && !e.meaning.isEmpty() && !r.gloss.contains(e.hanja))
            if (const auto g = glossOf(e.meaning)) r.gloss.insert(e.hanja, *g);
    }
    if (!table || !Fuzz::validUtf8(*table)) return r;
    for (const QByteArray& line : lines(*table)) {
        if (line.startsWith('#')) continue;
        QList<QByteArray> fields = line.split('\t');
        fields.removeAll(QByteArray());
        if (fields.size() != 3) continue;
        if (const auto s = score(fields[2])) r.scores.insert(text(fields[0]) + QLatin1Char('\t') + text(fields[1]), *s);
    }
    return r;
}

// Spellings by score, ties in file order; one-character words and single entries in file order.
QList<Entry> ordered(const Reference& r, const QString& key)
{
    QList<Entry> list = r.index.value(key);
    if (list.size() < 2 || graphemes(key) == 1) return list;
    std::stable_sort(list.begin(), list.end(), [&](const Entry& a, const Entry& b) {
        return r.scores.value(a.hangul + QLatin1Char('\t') + a.hanja, 0)
            > r.scores.value(b.hangul + QLatin1Char('\t') + b.hanja, 0);
    });
    return list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = Fuzz::bytes(data, size);
    const qsizetype nul = input.indexOf('\0');
    const QByteArray dictionary = nul < 0 ? input : input.first(nul);
    const std::optional<QByteArray> table = nul < 0 ? std::nullopt : std::optional(input.sliced(nul + 1));

    const QString detail = QStringLiteral("hanja.tsv %1\nhanja_freq.tsv %2")
                               .arg(Fuzz::show(QString::fromUtf8(dictionary)),
                                    table ? Fuzz::show(QString::fromUtf8(*table)) : QStringLiteral("absent"));
    HanjaDictionary dict(HanjaDictionary::Texts{dictionary, table});
    dict.loadIfNeeded();
    if (!Fuzz::validUtf8(dictionary)) {
        FUZZ_CHECK(!dict.isLoaded() && dict.keyCount() == 0, detail);
        return 0;
    }
    FUZZ_CHECK(dict.isLoaded(), detail);

    const Reference r = parse(dictionary, table);
    FUZZ_CHECK(dict.keyCount() == r.index.size(), detail);
    FUZZ_CHECK(dict.glossCount() == r.gloss.size(), detail);
    FUZZ_CHECK(dict.scoreCount() == r.scores.size(), detail);
    for (auto it = r.index.begin(); it != r.index.end(); ++it) {
        // Lookups ignore surrounding blanks, so such keys are not reached as they stand.
        if (it.key().trimmed() != it.key()) continue;
        const QList<HanjaEntry> got = dict.candidates(it.key());
        const QList<Entry> want = ordered(r, it.key());
        FUZZ_CHECK(got.size() == want.size(), detail + QStringLiteral("\nword ") + Fuzz::show(it.key()));
        for (qsizetype i = 0; i < got.size(); ++i)
            FUZZ_CHECK(got[i].hangul() == want[i].hangul && got[i].hanja() == want[i].hanja && got[i].meaning() == want[i].meaning,
                       detail + QStringLiteral("\nword %1, row %2").arg(Fuzz::show(it.key())).arg(i));
    }
    for (auto it = r.gloss.begin(); it != r.gloss.end(); ++it)
        FUZZ_CHECK(dict.charGloss(it.key()) == it.value(), detail + QStringLiteral("\ngloss of ") + Fuzz::show(it.key()));
    return 0;
}
