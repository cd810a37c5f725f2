// Stepping through a sentence, measured on the development sets with the real dictionary: each
// row's whole sentence is the selection.
//   - coverage: of the rows whose word is a dictionary word of two syllables or more, how often the
//     writer's word is (inside) a step; and of those, how often the step's first row is the writer's
//     Hanja, against the first row of a single selection of the same eojeol;
//   - steps per 100 eojeols of the sentences (each sentence once);
//   - --sample N: N steps drawn evenly from all sentences, printed for judging by hand which are
//     native words or names a writer would skip;
//   - --misses: the rows whose word is no step, with the eojeol around it.
//
// Usage: bench_SentenceStepsBench [--sample N] [--misses] [DEV.tsv ...]
// (default ../shared/data/dev/hanja_dev.tsv and statute_dev.tsv; the dictionary of the build tree,
// or SORELWICK_DATA_DIR)

#include "core/SentenceSteps.h"
#include "core/WordRows.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>

#include <qcoro/qcorotask.h>

namespace {

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

// Without a model the ranking finishes at once.
QList<Candidate> firstRows(const WordRows::Lookup& lookup, HanjaDictionary& dictionary)
{
    return QCoro::waitFor(WordRows::arrange(nullptr, lookup, QString(), dictionary)).rows;
}

double percent(qint64 part, qint64 whole) { return whole ? 100.0 * double(part) / double(whole) : 0; }

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList files;
    qsizetype sample = 0;
    bool misses = false;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--sample") && i + 1 < args.size()) sample = args[++i].toLongLong();
        else if (args[i] == QLatin1String("--misses")) misses = true;
        else files.append(args[i]);
    }
    if (files.isEmpty())
        files = {QStringLiteral("../shared/data/dev/hanja_dev.tsv"), QStringLiteral("../shared/data/dev/statute_dev.tsv")};
    const QByteArray dataDir = qEnvironmentVariableIsSet("SORELWICK_DATA_DIR") ? qgetenv("SORELWICK_DATA_DIR")
                                                                              : QByteArray(SORELWICK_BUILD_DATA_DIR);
    HanjaDictionary dictionary{QString::fromLocal8Bit(dataDir)};
    dictionary.loadIfNeeded();

    qint64 rows = 0, eligible = 0, covered = 0, stepFirst = 0, singleFirst = 0;
    qint64 eojeols = 0, steps = 0;
    qint64 findMs = 0;
    QSet<QString> seen;
    QStringList allSteps; // "word\tsentence" of every step of every sentence
    QStringList missed;   // "word\thanja\teojeol" of the rows whose word is no step
    for (const QString& path : files) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            out() << "cannot read " << path << "\n";
            return 1;
        }
        f.readLine(); // header
        while (!f.atEnd()) {
            const QStringList cols = QString::fromUtf8(f.readLine()).trimmed().split(QLatin1Char('\t'));
            if (cols.size() < 3) continue;
            ++rows;
            const QString hangul = cols[0], hanja = cols[1], sentence = cols[2];
            QElapsedTimer timer;
            timer.start();
            const SentenceSteps::Steps found = SentenceSteps::find(sentence, dictionary);
            findMs += timer.elapsed();
            if (!seen.contains(sentence)) {
                seen.insert(sentence);
                eojeols += sentence.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts).size();
                steps += found.steps.size();
                for (const SentenceSteps::Step& s : found.steps)
                    allSteps.append(sentence.mid(s.start, s.length) + QLatin1Char('\t') + sentence);
            }
            if (hangul.size() < 2 || dictionary.candidates(hangul).isEmpty()) continue;
            const qsizetype at = sentence.indexOf(hangul);
            if (at < 0) continue;
            ++eligible;
            const qint64 coveredBefore = covered;
            for (const SentenceSteps::Step& s : found.steps) {
                if (at < s.start || at >= s.start + s.length) continue;
                ++covered;
                const QList<Candidate> stepRows = firstRows(s.lookup, dictionary);
                if (!stepRows.isEmpty() && stepRows.first().primary == hanja) ++stepFirst;
                // The same eojeol selected alone, as a press looks it up.
                const auto single = WordRows::lookUp(sentence.mid(s.start, s.length), dictionary, {});
                const QList<Candidate> singleRows = single ? firstRows(*single, dictionary) : QList<Candidate>{};
                if (!singleRows.isEmpty() && singleRows.first().primary == hanja) ++singleFirst;
                break;
            }
            if (misses && covered == coveredBefore) {
                // The eojeol around the word, as the sentence has it, for judging why it is no step.
                qsizetype a = at, b = at;
                while (a > 0 && !sentence.at(a - 1).isSpace()) --a;
                while (b < sentence.size() && !sentence.at(b).isSpace()) ++b;
                missed.append(hangul + QLatin1Char('\t') + hanja + QLatin1Char('\t') + sentence.mid(a, b - a));
            }
        }
    }
    out() << QStringLiteral("rows %1, whose word is a dictionary word of 2+ syllables found in the sentence: %2\n")
                 .arg(rows).arg(eligible);
    out() << QStringLiteral("  the word is (in) a step: %1 (%2 %)\n").arg(covered).arg(percent(covered, eligible), 0, 'f', 1);
    out() << QStringLiteral("  of those, first row = writer's Hanja: as a step %1 (%2 %), selected alone %3 (%4 %)\n")
                 .arg(stepFirst).arg(percent(stepFirst, covered), 0, 'f', 1)
                 .arg(singleFirst).arg(percent(singleFirst, covered), 0, 'f', 1);
    out() << QStringLiteral("sentences %1, eojeols %2, steps %3: %4 steps per 100 eojeols\n")
                 .arg(seen.size()).arg(eojeols).arg(steps).arg(percent(steps, eojeols), 0, 'f', 1);
    out() << QStringLiteral("finding the steps: %1 ms for %2 rows\n").arg(findMs).arg(rows);
    if (misses) {
        out() << "\nrows whose word is no step (word, Hanja, eojeol):\n";
        for (const QString& m : std::as_const(missed)) out() << m << "\n";
    }
    if (sample > 0 && !allSteps.isEmpty()) {
        out() << "\nsample of steps (word, sentence):\n";
        const double stride = double(allSteps.size()) / double(sample);
        for (qsizetype k = 0; k < sample && qsizetype(k * stride) < allSteps.size(); ++k)
            out() << allSteps[qsizetype(k * stride)].section(QLatin1Char('\t'), 0, 0) << "\n";
    }
    return 0;
}
