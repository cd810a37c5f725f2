// Candidate quality of a frequency table, measured with the real dictionary:
//   - ranking: top-1 and top-3 of candidates() on the development rows whose word has two or more
//     spellings, the writer's spelling among them;
//   - eojeol split: the run of Hangul that starts with the annotated word must split back into it;
//   - common forms: noun + particle forms (tools/freq/common_forms.txt) must split back into their noun;
//   - everyday spellings: the first candidate of an everyday word (tools/freq/everyday_words.txt) must be
//     its everyday spelling, which the development set, a sample of annotated readings, cannot check;
//   - the panel, end to end: per development row the selection is the word and the rest of its Hangul
//     run in the sentence (what a double-click selects: 기산하여), the press runs the application's
//     own session on an editor in memory (split, compounds, ranking; no model, no picks), and the
//     writer's word and Hanja count at row 1, rows 1-3 or anywhere in the panel.
//
// Usage: bench_CandidateQualityBench [--dev FILE ...] [--forms FILE] [--everyday FILE] [--endings FILE|none]
//                                    [--parts FILE] [--seen FILE|none] [--failures] [TABLE|none ...]
// TABLE is a hanja_freq.tsv (default: the repository's data/hanja_freq.tsv); "none" measures the
// dictionary without scores. hanja.tsv comes from the data dir (SORELWICK_DATA_DIR, else the
// installed or build tree's), and so do the known endings unless --endings names others or "none" (the
// split's plain rule), the compound parts unless --parts names others, and the compounds as seen
// unless --seen names others or "none". The development set lives
// outside the repository (../shared/data/dev: hanja_dev.tsv and statute_dev.tsv unless --dev names
// others); without it only the common forms are measured. --no-panel leaves the end-to-end mode out.

#include "core/dictionary/HanjaDictionary.h"
#include "core/Coordinator.h"
#include "cli/SimulatedDesktop.h"
#include "base/Resources.h"
#include "base/TextUtil.h"

#include <QCoreApplication>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <optional>
#include <vector>

namespace {

struct DevRow {
    QString hangul;
    QString hanja;
    QString context;
    QString eojeol; // the Hangul run that starts where the word first occurs in the context
    bool insideRun = false; // the word starts inside a longer run (부동산가액 → 가액)
    int half = 0; // words alternate between halves 0 and 1 in file order, so a word's rows stay together
};

struct Form {
    QString form;
    QString noun;
};

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

bool isHangulSyllable(QChar c) { return c.unicode() >= 0xAC00 && c.unicode() <= 0xD7A3; }

std::optional<QStringList> readLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

std::optional<std::vector<DevRow>> readDevSet(const QString& path, int* unusable)
{
    const auto lines = readLines(path);
    if (!lines) return std::nullopt;
    std::vector<DevRow> rows;
    *unusable = 0;
    QString lastWord;
    int half = 1;
    for (qsizetype i = 1; i < lines->size(); ++i) { // line 0 is the header
        const QStringList f = lines->at(i).split(QLatin1Char('\t'));
        const qsizetype at = f.size() == 3 ? f[2].indexOf(f[0]) : -1;
        if (f.size() != 3 || f[0].isEmpty() || at < 0) {
            ++*unusable;
            continue;
        }
        const QString& context = f[2];
        qsizetype end = at;
        while (end < context.size() && isHangulSyllable(context[end])) ++end;
        if (f[0] != lastWord) {
            lastWord = f[0];
            half = 1 - half;
        }
        rows.push_back({f[0], f[1], context, context.mid(at, end - at), at > 0 && isHangulSyllable(context[at - 1]), half});
    }
    return rows;
}

std::optional<std::vector<Form>> readForms(const QString& path)
{
    const auto lines = readLines(path);
    if (!lines) return std::nullopt;
    std::vector<Form> forms;
    for (const QString& line : *lines) {
        if (line.startsWith(QLatin1Char('#'))) continue;
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() == 2) forms.push_back({f[0], f[1]});
    }
    return forms;
}

QString percent(int part, int whole)
{
    return whole ? QString::number(100.0 * part / whole, 'f', 2) + QStringLiteral(" %") : QStringLiteral("-");
}

QString joined(const QList<HanjaEntry>& entries, int count)
{
    QStringList s;
    for (int i = 0; i < entries.size() && i < count; ++i) s << entries[i].hanja().toString();
    return s.join(QLatin1Char(' '));
}

// Whether the text's first row is a compound's (one offered after the word's own rows is not).
bool opensWithCompound(HanjaDictionary& dictionary, const QString& text)
{
    const auto compounds = dictionary.compounds(text);
    return !compounds.isEmpty() && !compounds.first().afterWord;
}

QString describe(const std::optional<HanjaDictionary::Split>& split)
{
    if (!split) return QStringLiteral("(no split)");
    return split->stem + QStringLiteral(" + ") + (split->rest.isEmpty() ? QStringLiteral("∅") : split->rest);
}

// A data folder holding the dictionary and the table under test.
std::optional<QString> prepareFolder(QTemporaryDir& dir, const QString& dictionary, const QString& table,
                                     const QString& endings, QString parts, QString seen)
{
    if (endings != QLatin1String("none") && !QFile::copy(endings, dir.filePath(QStringLiteral("known_endings.tsv"))))
        return std::nullopt;
    // The compound parts sit beside the dictionary; without them no compound is offered.
    if (parts.isEmpty()) parts = QFileInfo(dictionary).dir().filePath(QStringLiteral("compound_parts.tsv"));
    if (QFileInfo::exists(parts) && !QFile::copy(parts, dir.filePath(QStringLiteral("compound_parts.tsv"))))
        return std::nullopt;
    // So do the compounds as seen, unless --seen names others or "none".
    if (seen.isEmpty()) seen = QFileInfo(dictionary).dir().filePath(QStringLiteral("seen_compounds.tsv"));
    if (seen != QLatin1String("none") && QFileInfo::exists(seen)
        && !QFile::copy(seen, dir.filePath(QStringLiteral("seen_compounds.tsv"))))
        return std::nullopt;
    const QString dictionaryCopy = dir.filePath(QStringLiteral("hanja.tsv"));
    if (!QFile::link(dictionary, dictionaryCopy) && !QFile::copy(dictionary, dictionaryCopy)) return std::nullopt;
    const QString tableCopy = dir.filePath(QStringLiteral("hanja_freq.tsv"));
    if (table == QLatin1String("none")) {
        QFile empty(tableCopy);
        if (!empty.open(QIODevice::WriteOnly)) return std::nullopt;
    } else if (!QFile::copy(table, tableCopy)) {
        return std::nullopt;
    }
    return dir.path();
}

void measure(HanjaDictionary& dictionary, const std::vector<DevRow>* dev, const std::vector<Form>& forms,
             const std::vector<Form>& everyday, bool listFailures)
{
    QTextStream& o = out();
    if (dev) {
        int rows = 0, top1 = 0, top3 = 0, oneCharRows = 0, oneCharTop1 = 0, oneCharTop3 = 0;
        int halfRows[2] = {0, 0}, halfTop1[2] = {0, 0}, halfTop3[2] = {0, 0};
        QStringList rankingFailures;
        int splitRows = 0, splitOk = 0, oneCharWithEnding = 0, insideRows = 0, insideOk = 0, notWords = 0;
        QStringList splitFailures;
        int compoundRows = 0, compoundOffered = 0, compoundFirst = 0, compoundAmong = 0;
        int halfCompoundRows[2] = {0, 0}, halfCompoundFirst[2] = {0, 0}, halfCompoundAmong[2] = {0, 0};
        QStringList compoundFailures; // the writer's Hanja not the first compound row
        int wordsWithCompound = 0; // dictionary-word rows whose eojeol is offered a compound first
        for (const DevRow& row : *dev) {
            const QList<HanjaEntry> candidates = dictionary.candidates(row.hangul);
            if (candidates.isEmpty()) {
                ++notWords;
                if (TextUtil::characterCount(row.hangul) >= 3) {
                    ++compoundRows;
                    ++halfCompoundRows[row.half];
                    const auto compounds = dictionary.compounds(row.eojeol);
                    bool offered = false;
                    for (int i = 0; i < compounds.size(); ++i) {
                        if (compounds[i].hangul != row.hangul) continue;
                        offered = true;
                        if (compounds[i].hanja == row.hanja) {
                            // A compound offered after the word's own rows is no first row.
                            const bool first = i == 0 && !compounds[i].afterWord;
                            compoundFirst += first;
                            halfCompoundFirst[row.half] += first;
                            ++compoundAmong;
                            ++halfCompoundAmong[row.half];
                        }
                    }
                    compoundOffered += offered;
                    if (compounds.isEmpty() || compounds[0].afterWord || compounds[0].hangul != row.hangul
                        || compounds[0].hanja != row.hanja) {
                        QStringList rows;
                        for (const auto& c : compounds) rows << c.hangul + QLatin1Char(' ') + c.partsHanja.join(QLatin1Char('+'));
                        compoundFailures << row.eojeol + QLatin1Char(' ') + row.hanja + QStringLiteral(" ← ") +
                                                (rows.isEmpty() ? QStringLiteral("(none)") : rows.join(QStringLiteral(", ")));
                    }
                }
                continue;
            }
            int position = -1;
            for (int i = 0; i < candidates.size() && position < 0; ++i)
                if (candidates[i].hanja() == row.hanja) position = i;
            const bool oneChar = TextUtil::characterCount(row.hangul) == 1;
            const bool withEnding = TextUtil::characterCount(row.eojeol) > 1;
            if (candidates.size() >= 2 && position >= 0) {
                ++rows;
                top1 += position == 0;
                top3 += position < 3;
                ++halfRows[row.half];
                halfTop1[row.half] += position == 0;
                halfTop3[row.half] += position < 3;
                if (oneChar) {
                    ++oneCharRows;
                    oneCharTop1 += position == 0;
                    oneCharTop3 += position < 3;
                } else if (position != 0) {
                    rankingFailures << row.hangul + QLatin1Char(' ') + row.hanja + QStringLiteral(" ← ") +
                                           joined(candidates, 3);
                }
            }
            ++splitRows;
            wordsWithCompound += opensWithCompound(dictionary, row.eojeol);
            const auto split = dictionary.split(row.eojeol);
            const bool ok = split && split->stem == row.hangul;
            splitOk += ok;
            if (row.insideRun) {
                ++insideRows;
                insideOk += ok;
            }
            if (oneChar && withEnding) ++oneCharWithEnding;
            if (!ok && !(oneChar && withEnding))
                splitFailures << row.eojeol + QStringLiteral(" → ") + describe(split) + QStringLiteral(" (word ") +
                                     row.hangul + QLatin1Char(')');
        }
        o << "  ranking, " << rows << " rows (word with 2+ spellings, the writer's among them):\n"
          << "    top-1 " << percent(top1, rows) << " (" << top1 << "), top-3 " << percent(top3, rows) << " ("
          << top3 << ")\n"
          << "    " << oneCharRows << " of them are one-character words, never reordered (top-1 " << oneCharTop1
          << ", top-3 " << oneCharTop3 << "): ceiling top-1 " << percent(rows - oneCharRows + oneCharTop1, rows)
          << ", top-3 " << percent(rows - oneCharRows + oneCharTop3, rows) << "\n"
          << "    words of 2+ characters: top-1 " << percent(top1 - oneCharTop1, rows - oneCharRows) << ", top-3 "
          << percent(top3 - oneCharTop3, rows - oneCharRows) << "\n"
          << "    halves (alternate words): A top-1 " << percent(halfTop1[0], halfRows[0]) << ", top-3 "
          << percent(halfTop3[0], halfRows[0]) << " (" << halfRows[0] << " rows); B top-1 "
          << percent(halfTop1[1], halfRows[1]) << ", top-3 " << percent(halfTop3[1], halfRows[1]) << " ("
          << halfRows[1] << " rows)\n";
        o << "  eojeol split, " << splitRows << " rows whose word is a dictionary word (" << notWords
          << " rows are not):\n"
          << "    " << percent(splitOk, splitRows) << " (" << splitOk << ")\n"
          << "    " << oneCharWithEnding << " one-character words with an ending, which never split: ceiling "
          << percent(splitRows - oneCharWithEnding, splitRows) << "\n"
          << "    " << insideRows << " words start inside a longer Hangul run, measured from the word: "
          << insideOk << " split right\n";
        o << "  compounds, " << compoundRows << " rows whose word (3+ characters) is not a dictionary word:\n"
          << "    offered " << percent(compoundOffered, compoundRows) << " (" << compoundOffered << "), the writer's first "
          << percent(compoundFirst, compoundRows) << " (" << compoundFirst << "), among the rows "
          << percent(compoundAmong, compoundRows) << " (" << compoundAmong << ")\n"
          << "    halves: A first " << percent(halfCompoundFirst[0], halfCompoundRows[0]) << ", among "
          << percent(halfCompoundAmong[0], halfCompoundRows[0]) << " (" << halfCompoundRows[0] << " rows); B first "
          << percent(halfCompoundFirst[1], halfCompoundRows[1]) << ", among "
          << percent(halfCompoundAmong[1], halfCompoundRows[1]) << " (" << halfCompoundRows[1] << " rows)\n"
          << "    offered before the word itself on " << wordsWithCompound << " of the " << splitRows
          << " dictionary-word rows\n";
        if (listFailures) {
            o << "  ranking failures (2+ characters):\n";
            for (const QString& s : rankingFailures) o << "    " << s << "\n";
            o << "  split failures (one-character words with an ending not listed):\n";
            for (const QString& s : splitFailures) o << "    " << s << "\n";
            o << "  compound failures (the writer's Hanja not the first compound row):\n";
            for (const QString& s : compoundFailures) o << "    " << s << "\n";
        }
    }
    int formsOk = 0, formsWithCompound = 0;
    QStringList formFailures, formsCompoundFirst;
    for (const Form& f : forms) {
        const auto split = dictionary.split(f.form);
        if (split && split->stem == f.noun) ++formsOk;
        else formFailures << f.form + QStringLiteral(" → ") + describe(split);
        if (opensWithCompound(dictionary, f.form)) {
            ++formsWithCompound;
            formsCompoundFirst << f.form;
        }
    }
    if (!forms.empty())
        o << "  common forms, " << forms.size() << ": " << percent(formsOk, int(forms.size())) << " (" << formsOk
      << "), offered a compound first: " << formsWithCompound << "\n";
    const int shown = listFailures ? int(formFailures.size()) : std::min<int>(10, int(formFailures.size()));
    for (int i = 0; i < shown; ++i) o << "    " << formFailures[i] << "\n";
    if (listFailures && !formsCompoundFirst.isEmpty())
        o << "    offered a compound first: " << formsCompoundFirst.join(QStringLiteral(", ")) << "\n";
    if (shown < formFailures.size()) o << "    … " << formFailures.size() - shown << " more (--failures)\n";
    if (!everyday.empty()) {
        int everydayOk = 0;
        QStringList everydayFailures;
        for (const Form& w : everyday) {
            const QList<HanjaEntry> candidates = dictionary.candidates(w.form);
            if (!candidates.isEmpty() && candidates[0].hanja() == w.noun) ++everydayOk;
            else everydayFailures << w.form + QLatin1Char(' ') + w.noun + QStringLiteral(" ← ") + joined(candidates, 3);
        }
        o << "  everyday spellings first, " << everyday.size() << " words: "
          << percent(everydayOk, int(everyday.size())) << " (" << everydayOk << ")\n";
        const int listed = listFailures ? int(everydayFailures.size()) : std::min<int>(10, int(everydayFailures.size()));
        for (int i = 0; i < listed; ++i) o << "    " << everydayFailures[i] << "\n";
        if (listed < everydayFailures.size()) o << "    … " << everydayFailures.size() - listed << " more (--failures)\n";
    }
    o.flush();
}

// The panel a press shows for each row, as the application builds it.
void measurePanel(HanjaDictionary& dictionary, const std::vector<DevRow>& dev, bool listFailures)
{
    QTextStream& o = out();
    Coordinator::shared().dictionary = &dictionary;
    SimulatedDesktop desktop({}, false);
    struct Tally {
        int rows = 0, top1 = 0, top3 = 0, anywhere = 0, empty = 0;
    };
    // [half][all rows, 2+ syllables]
    Tally tally[2][2];
    QStringList failures;
    for (const DevRow& row : dev) {
        // The selection from the word's start to the end of its run, in the sentence: its first
        // occurrence, as the word's is.
        desktop.open(row.context, row.eojeol);
        const SimulatedDesktop::Panel shown = desktop.press();
        int position = -1;
        const bool list = shown.state == SimulatedDesktop::Panel::State::list && !shown.rows.isEmpty();
        if (list)
            for (qsizetype i = 0; i < shown.rows.size() && position < 0; ++i)
                if (shown.rows[i].word == row.hangul && shown.rows[i].primary == row.hanja) position = int(i);
        for (int longer = 0; longer < 2; ++longer) {
            if (longer && TextUtil::characterCount(row.hangul) < 2) continue;
            Tally& t = tally[row.half][longer];
            ++t.rows;
            t.top1 += position == 0;
            t.top3 += position >= 0 && position < 3;
            t.anywhere += position >= 0;
            t.empty += !list;
        }
        if (listFailures && position != 0) {
            QStringList firsts;
            for (qsizetype i = 0; i < shown.rows.size() && i < 3; ++i) firsts << shown.rows[i].primary;
            // Where the writer's row stands (or "-"), so that a miss reads as order or as absence.
            const QString where = position < 0 ? QStringLiteral(" [-]") : QStringLiteral(" [%1]").arg(position + 1);
            failures << row.eojeol + QLatin1Char(' ') + row.hanja + QStringLiteral(" ← ") +
                            (list ? firsts.join(QLatin1Char(' ')) + where : QStringLiteral("(no list)"));
        }
    }
    const auto line = [&](const char* name, const Tally& t) {
        o << "    " << name << " (" << t.rows << "): top-1 " << percent(t.top1, t.rows) << ", top-3 "
          << percent(t.top3, t.rows) << ", anywhere " << percent(t.anywhere, t.rows) << ", empty "
          << percent(t.empty, t.rows) << "\n";
    };
    const auto sum = [](const Tally& a, const Tally& b) {
        return Tally{a.rows + b.rows, a.top1 + b.top1, a.top3 + b.top3, a.anywhere + b.anywhere, a.empty + b.empty};
    };
    o << "  panel, end to end (no model, no picks), " << dev.size() << " rows:\n";
    line("all rows", sum(tally[0][0], tally[1][0]));
    line("2+ syllables", sum(tally[0][1], tally[1][1]));
    line("half A, all rows", tally[0][0]);
    line("half B, all rows", tally[1][0]);
    line("half A, 2+ syllables", tally[0][1]);
    line("half B, 2+ syllables", tally[1][1]);
    if (listFailures) {
        o << "  panel failures (the writer's Hanja not row 1):\n";
        for (const QString& s : failures) o << "    " << s << "\n";
    }
    o.flush();
}

int usage()
{
    std::fprintf(stderr, "usage: bench_CandidateQualityBench [--dev FILE] [--forms FILE] [--everyday FILE] "
                         "[--endings FILE|none] [--parts FILE] [--seen FILE|none] [--no-panel] [--failures] [TABLE|none ...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The sessions read and write settings: a folder of their own, so no user's picks count.
    QTemporaryDir config;
    if (!config.isValid()) return 1;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QString source = QStringLiteral(SORELWICK_SOURCE_DIR);
    QStringList devPaths;
    bool panel = true;
    QString formsPath = source + QStringLiteral("/tools/freq/common_forms.txt");
    QString everydayPath = source + QStringLiteral("/tools/freq/everyday_words.txt");
    bool listFailures = false;
    QString endingsPath = Resources::locate(QStringLiteral("known_endings.tsv"));
    QString partsPath; // beside the dictionary
    QString seenPath;  // likewise
    QStringList tables;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--dev") && i + 1 < argc) devPaths << QString::fromLocal8Bit(argv[++i]);
        else if (a == QLatin1String("--no-panel")) panel = false;
        else if (a == QLatin1String("--forms") && i + 1 < argc) formsPath = QString::fromLocal8Bit(argv[++i]);
        else if (a == QLatin1String("--everyday") && i + 1 < argc) everydayPath = QString::fromLocal8Bit(argv[++i]);
        else if (a == QLatin1String("--endings") && i + 1 < argc) endingsPath = QString::fromLocal8Bit(argv[++i]);
        else if (a == QLatin1String("--parts") && i + 1 < argc) partsPath = QString::fromLocal8Bit(argv[++i]);
        else if (a == QLatin1String("--seen") && i + 1 < argc) seenPath = QString::fromLocal8Bit(argv[++i]);
        else if (a == QLatin1String("--failures")) listFailures = true;
        else if (a.startsWith(QLatin1String("-"))) return usage();
        else tables << a;
    }
    if (tables.isEmpty()) tables << source + QStringLiteral("/data/hanja_freq.tsv");
    if (devPaths.isEmpty())
        for (const char* name : {"hanja_dev.tsv", "statute_dev.tsv"})
            devPaths << source + QStringLiteral("/../shared/data/dev/") + QLatin1String(name);

    QTextStream& o = out();
    const QString dictionary = Resources::locate(QStringLiteral("hanja.tsv"));
    if (dictionary.isEmpty()) {
        o << "hanja.tsv not found in " << Resources::dataDirectories() << "; build the sorelwick_data target\n";
        return 1;
    }
    const auto forms = readForms(formsPath);
    if (!forms) {
        o << "common forms list not found: " << formsPath << "\n";
        return 1;
    }
    const auto everyday = readForms(everydayPath);
    if (!everyday) {
        o << "everyday word list not found: " << everydayPath << "\n";
        return 1;
    }
    struct DevSet {
        QString path;
        std::vector<DevRow> rows;
    };
    std::vector<DevSet> devSets;
    if (endingsPath.isEmpty()) {
        o << "known_endings.tsv not found in " << Resources::dataDirectories() << "; build the sorelwick_data target\n";
        return 1;
    }
    o << "dictionary: " << dictionary << "\n"
      << "known endings: " << endingsPath << "\n";
    for (const QString& devPath : devPaths) {
        int unusable = 0;
        auto dev = readDevSet(devPath, &unusable);
        if (dev) {
            o << "development set: " << QFileInfo(devPath).canonicalFilePath() << ", " << dev->size() << " rows";
            if (unusable) o << " (" << unusable << " unusable rows skipped)";
            o << "\n";
            devSets.push_back({QFileInfo(devPath).fileName(), std::move(*dev)});
        } else {
            o << "development set not found: " << devPath << "\n"
              << "  (it lives in ../shared beside the repository, which this checkout does not have; "
                 "only the common forms are measured)\n";
        }
    }

    for (const QString& table : tables) {
        if (table != QLatin1String("none") && !QFileInfo(table).isFile()) {
            o << "table not found: " << table << "\n";
            continue;
        }
        QTemporaryDir dir;
        const auto folder = dir.isValid() ? prepareFolder(dir, dictionary, table, endingsPath, partsPath, seenPath) : std::nullopt;
        if (!folder) {
            o << "cannot prepare a data folder for " << table << "\n";
            continue;
        }
        HanjaDictionary d(*folder);
        d.loadIfNeeded();
        o << "\ntable: " << (table == QLatin1String("none") ? QStringLiteral("none (no scores)") : table) << ", "
          << d.scoreCount() << " scored pairs\n";
        o.flush();
        if (devSets.empty()) measure(d, nullptr, *forms, *everyday, listFailures);
        for (std::size_t k = 0; k < devSets.size(); ++k) {
            o << " " << devSets[k].path << ":\n";
            // The forms and everyday words once, with the first set.
            measure(d, &devSets[k].rows, k == 0 ? *forms : std::vector<Form>{}, k == 0 ? *everyday : std::vector<Form>{},
                    listFailures);
            if (panel) measurePanel(d, devSets[k].rows, listFailures);
        }
    }
    return 0;
}
