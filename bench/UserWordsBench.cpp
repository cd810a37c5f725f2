// The user's own words:
//   - composing: of the development rows whose spelling the dictionary lacks, the share whose
//     characters are each among the first nine rows of their syllable's step (a word of n syllables
//     then takes n digit presses), in the order by use in words and, for comparison, in file order;
//   - cost: loading 5,000 user words, and a press's split + candidates with them attached against
//     libhangul's exact lookup (the dictionary bench's budget: ratio <= 0.20).
// Usage: bench_UserWordsBench [--dev FILE ...]
#include "core/SyllableCompose.h"
#include "core/UserWords.h"
#include "core/dictionary/HanjaDictionary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <hangul.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

template <typename F>
double medianMs(int runs, F f)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct Row {
    QString hangul, hanja;
};

std::vector<Row> readDev(const QStringList& files)
{
    std::vector<Row> rows;
    for (const QString& path : files) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            std::printf("%s: cannot read\n", qPrintable(path));
            continue;
        }
        f.readLine(); // header
        while (!f.atEnd()) {
            const QStringList fields = QString::fromUtf8(f.readLine()).trimmed().split(QLatin1Char('\t'));
            if (fields.size() >= 2) rows.push_back(Row{fields[0], fields[1]});
        }
    }
    return rows;
}

void composing(HanjaDictionary& dictionary, const std::vector<Row>& dev)
{
    int lacking = 0, byUse = 0, byFile = 0;
    QStringList misses;
    for (const Row& row : dev) {
        const QList<uint> characters = row.hanja.toUcs4();
        if (!SyllableCompose::offers(row.hangul, dictionary) || characters.size() != row.hangul.size()) continue;
        const QList<HanjaEntry> known = dictionary.candidates(row.hangul);
        if (std::any_of(known.cbegin(), known.cend(), [&](const HanjaEntry& e) { return e.hanja() == row.hanja; })) continue;
        ++lacking;
        bool allByUse = true, allByFile = true;
        for (qsizetype i = 0; i < row.hangul.size(); ++i) {
            const QString character = QString::fromUcs4(reinterpret_cast<const char32_t*>(&characters[i]), 1);
            const QList<SyllableCompose::Choice> choices = SyllableCompose::choicesFor(row.hangul, i, dictionary);
            qsizetype at = -1;
            for (qsizetype k = 0; k < choices.size() && at < 0; ++k)
                if (choices[k].hanja == character) at = k;
            allByUse = allByUse && at >= 0 && at < 9;
            // File order: the syllable's own lines as the dictionary lists them.
            qsizetype fileAt = -1, k = 0;
            for (const HanjaEntry& e : dictionary.candidates(QString(row.hangul.at(i)))) {
                if (e.hanja() == character && fileAt < 0) fileAt = k;
                ++k;
            }
            allByFile = allByFile && fileAt >= 0 && fileAt < 9;
        }
        byUse += allByUse;
        byFile += allByFile;
        if (!allByUse && misses.size() < 8) misses << row.hangul + QLatin1Char(' ') + row.hanja;
    }
    std::printf("compose: %d dev words the dictionary lacks; every character in the first nine: by use %d (%.1f %%, "
                "target >= 85 %%), in file order %d (%.1f %%)\n",
                lacking, byUse, lacking ? 100.0 * byUse / lacking : 0.0, byFile, lacking ? 100.0 * byFile / lacking : 0.0);
    if (!misses.isEmpty()) std::printf("  not all in the first nine, e.g.: %s\n", qPrintable(misses.join(QStringLiteral(", "))));
}

void cost(const QString& dataDir)
{
    // 5,000 words of two to four syllables, as a user's file holds them (no check on the way in).
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("words.txt"));
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        QByteArray bytes;
        for (int i = 0; i < 5000; ++i) {
            QString hangul, hanja;
            for (int s = 0, n = 2 + i % 3, v = i; s < n; ++s, v = v / 7 + 31 * s) {
                hangul += QChar(char16_t(0xAC00 + (v * 37 + s * 11) % 11172));
                hanja += QChar(char16_t(0x4E00 + (v * 53 + s * 17) % 20000));
            }
            bytes += (hangul + QLatin1Char(':') + hanja + QStringLiteral(":뜻 풀이:20261207T120000Z\n")).toUtf8();
        }
        f.write(bytes);
    }
    HanjaDictionary plain(dataDir), withWords(dataDir);
    plain.loadIfNeeded();
    withWords.loadIfNeeded();
    // Wall time, and the CPU time of this thread (the machine may be busy with others' work).
    std::vector<double> cpu;
    const double loadMs = medianMs(9, [&] {
        timespec from, to;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &from);
        UserWords words(path, withWords);
        words.table();
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &to);
        cpu.push_back(double(to.tv_sec - from.tv_sec) * 1e3 + double(to.tv_nsec - from.tv_nsec) / 1e6);
    });
    std::sort(cpu.begin(), cpu.end());
    UserWords words(path, withWords);
    words.attachTo(withWords);
    const qsizetype count = words.table()->words().size();

    const QStringList selections = {"수도를", "사고가", "학교에", "정부는", "대한민국", "건조물을", "한자를",
                                    "경제가", "문제는", "사람이", "시간을", "도서관", "전화로", "가족과",
                                    "회사에서", "역사는", "자동차", "국민의", "생각이", "선생님"};
    const int rounds = 20000;
    long sink = 0;
    const auto lookupNs = [&](HanjaDictionary& d) {
        return medianMs(5, [&] {
            for (int r = 0; r < rounds; ++r)
                for (const QString& s : selections)
                    if (const auto split = d.split(s)) sink += d.candidates(split->stem).size();
        }) * 1e6 / (rounds * double(selections.size()));
    };
    const double plainNs = lookupNs(plain), withNs = lookupNs(withWords);
    HanjaTable* table = hanja_table_load("/usr/share/libhangul/hanja/hanja.txt");
    std::vector<std::string> stems;
    for (const QString& s : selections) {
        const auto split = plain.split(s);
        stems.push_back(split ? split->stem.toStdString() : s.toStdString());
    }
    const double theirsNs = medianMs(5, [&] {
        for (int r = 0; r < rounds; ++r)
            for (const std::string& stem : stems)
                if (HanjaList* list = hanja_table_match_exact(table, stem.c_str())) {
                    sink += hanja_list_get_size(list);
                    hanja_list_delete(list);
                }
    }) * 1e6 / (rounds * double(stems.size()));
    hanja_table_delete(table);
    std::printf("user words: %lld loaded in %.2f ms, %.2f ms of CPU (target <= 5 ms)\n", static_cast<long long>(count), loadMs,
                cpu[cpu.size() / 2]);
    std::printf("lookup: split + candidates %.0f ns without user words, %.0f ns with %lld; libhangul exact %.0f ns; "
                "ratio with them %.2f (target <= 0.20)\n",
                plainNs, withNs, static_cast<long long>(count), theirsNs, withNs / theirsNs);
    if (sink == 42) std::printf(" ");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList devFiles;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i)
        if (args[i] == QLatin1String("--dev") && i + 1 < args.size()) devFiles << args[++i];
    if (devFiles.isEmpty())
        devFiles << QStringLiteral(SORELWICK_SOURCE_DIR "/../shared/data/dev/hanja_dev.tsv")
                 << QStringLiteral(SORELWICK_SOURCE_DIR "/../shared/data/dev/statute_dev.tsv");
    const QString dataDir = QStringLiteral(SORELWICK_BUILD_DATA_DIR);
    HanjaDictionary dictionary(dataDir);
    composing(dictionary, readDev(devFiles));
    cost(dataDir);
    return 0;
}
