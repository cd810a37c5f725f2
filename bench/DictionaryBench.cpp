// Dictionary load and lookup against libhangul's own Hanja table, on the same data, in one run.
// Prints: load time ratio (target ≤ 0.5; also without hanja.index, when the files are parsed), split + candidates vs one exact libhangul lookup
// (target ≤ 0.2), and the RSS growth of our load against the size of hanja.tsv (target ≤ 2); then a press
// with the compounds the dictionary lacks, and what reading their tables costs (time, memory, the first press).
#include "core/dictionary/HanjaDictionary.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <hangul.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double residentMiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * 4096.0 / (1024.0 * 1024.0);
}

template <typename F>
double medianMs(int runs, F f)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main()
{
    const QString dataDir = QStringLiteral(SORELWICK_BUILD_DATA_DIR);
    const QString tsv = dataDir + QStringLiteral("/hanja.tsv");
    const char* hanjaTxt = "/usr/share/libhangul/hanja/hanja.txt";
    const double tsvMiB = double(QFileInfo(tsv).size()) / (1024.0 * 1024.0);

    // Memory first, in a quiet process: one load that stays.
    const double before = residentMiB();
    auto* kept = new HanjaDictionary(dataDir);
    kept->loadIfNeeded();
    const double growth = residentMiB() - before;

    // The same files without the index, as when it is missing or stale: the files are parsed.
    QTemporaryDir parsedDir;
    for (const char* name : {"hanja.tsv", "hanja_freq.tsv", "known_endings.tsv"})
        QFile::copy(dataDir + QLatin1Char('/') + QLatin1String(name), parsedDir.filePath(QLatin1String(name)));

    // Loads alternate, so that a change in the machine's load in the meantime falls on all.
    std::vector<double> oursMs, parsedMs, theirsMs;
    const auto loadMs = [](const QString& folder) {
        return medianMs(1, [&] {
            HanjaDictionary d(folder);
            d.loadIfNeeded();
        });
    };
    for (int run = 0; run < 9; ++run) {
        oursMs.push_back(loadMs(dataDir));
        parsedMs.push_back(loadMs(parsedDir.path()));
        theirsMs.push_back(medianMs(1, [&] { hanja_table_delete(hanja_table_load(hanjaTxt)); }));
    }
    const auto median = [](std::vector<double>& v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double ours = median(oursMs), parsed = median(parsedMs), theirs = median(theirsMs);

    const QStringList selections = {"수도를", "사고가", "학교에", "정부는", "대한민국", "건조물을", "한자를",
                                    "경제가", "문제는", "사람이", "시간을", "도서관", "전화로", "가족과",
                                    "회사에서", "역사는", "자동차", "국민의", "생각이", "선생님"};
    HanjaTable* table = hanja_table_load(hanjaTxt);
    std::vector<std::string> stems;
    for (const QString& s : selections) {
        const auto split = kept->split(s);
        stems.push_back(split ? split->stem.toStdString() : s.toStdString());
    }
    const int rounds = 20000;
    long sink = 0;
    const double oursLookupNs = medianMs(5, [&] {
        for (int r = 0; r < rounds; ++r)
            for (const QString& s : selections) {
                const auto split = kept->split(s);
                if (split) sink += kept->candidates(split->stem).size();
            }
    }) * 1e6 / (rounds * double(selections.size()));
    const double theirsLookupNs = medianMs(5, [&] {
        for (int r = 0; r < rounds; ++r)
            for (const std::string& stem : stems) {
                HanjaList* list = hanja_table_match_exact(table, stem.c_str());
                if (list) {
                    sink += hanja_list_get_size(list);
                    hanja_list_delete(list);
                }
            }
    }) * 1e6 / (rounds * double(stems.size()));
    hanja_table_delete(table);

    // A press also asks for compounds the dictionary lacks; their tables (the parts, and compounds
    // as writers spelled them) are read by the loader thread after the dictionary, else on the first ask.
    const double beforeTables = residentMiB();
    QElapsedTimer tablesRead;
    tablesRead.start();
    kept->readCompoundTablesIfNeeded();
    const double tablesReadMs = double(tablesRead.nsecsElapsed()) / 1e6;
    const double tablesGrowth = residentMiB() - beforeTables;
    const long long seenPairs = kept->seenCompoundCount();
    // The first press as a start makes it: after the loader thread read the tables, against a press
    // that reads them itself.
    std::vector<double> pressLate, pressEarly;
    for (int run = 0; run < 3; ++run) {
        HanjaDictionary d(dataDir);
        d.loadIfNeeded();
        d.readCompoundTablesIfNeeded();
        QElapsedTimer press;
        press.start();
        sink += d.compounds(QStringLiteral("부과계수를")).size();
        pressEarly.push_back(double(press.nsecsElapsed()) / 1e6);
        HanjaDictionary late(dataDir);
        late.loadIfNeeded();
        QElapsedTimer lateTimer;
        lateTimer.start();
        sink += late.compounds(QStringLiteral("부과계수를")).size();
        pressLate.push_back(double(lateTimer.nsecsElapsed()) / 1e6);
    }
    const QStringList compoundTexts = {"부과계수를", "가림군이었는데", "토지거래허가구역", "재산세율은", "국가인민군은",
                                       "법정지상권을", "일본군이", "가가속도"};
    const auto pressNs = [&](const QStringList& texts) {
        return medianMs(5, [&] {
            for (int r = 0; r < rounds / 10; ++r)
                for (const QString& s : texts) {
                    const auto split = kept->split(s);
                    if (split) sink += kept->candidates(split->stem).size() + kept->compounds(*split).size();
                    else sink += kept->compounds(s).size();
                }
        }) * 1e6 / (rounds / 10 * double(texts.size()));
    };
    const double wordPressNs = pressNs(selections), compoundPressNs = pressNs(compoundTexts);

    std::printf("dictionary: %lld keys (hanja.tsv %.1f MiB)\n", static_cast<long long>(kept->keyCount()), tsvMiB);
    std::printf("load: ours %.1f ms, libhangul %.1f ms, ratio %.2f (target <= 0.50)\n", ours, theirs, ours / theirs);
    std::printf("load without hanja.index (parsed): %.1f ms, ratio %.2f\n", parsed, parsed / theirs);
    std::printf("lookup: split + candidates %.0f ns, libhangul exact %.0f ns, ratio %.2f (target <= 0.20)\n",
                oursLookupNs, theirsLookupNs, oursLookupNs / theirsLookupNs);
    std::printf("with compounds: words %.0f ns (ratio %.2f), compounds %.0f ns (ratio %.2f)\n", wordPressNs,
                wordPressNs / theirsLookupNs, compoundPressNs, compoundPressNs / theirsLookupNs);
    std::printf("compound tables (%lld seen spellings): read in %.1f ms, RSS growth %.1f MiB; first compound press "
                "%.2f ms after the loader read them, %.1f ms when the press reads them\n",
                seenPairs, tablesReadMs, tablesGrowth, median(pressEarly), median(pressLate));
    std::printf("memory: RSS growth %.1f MiB, %.2f x hanja.tsv (target <= 2.00)\n", growth, growth / tsvMiB);
    return sink == 42 ? 1 : 0;
}
