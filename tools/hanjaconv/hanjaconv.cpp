// Converts libhangul's Hanja list (hanja.txt: "hangul:hanja:meaning" lines, '#' comments)
// into the dictionary resource hanja.tsv ("hangul<TAB>hanja<TAB>meaning", file order kept:
// libhangul lists each word's spellings most frequent first, and that order is our tie order).
//
// With the frequency table as a third argument, the lines of each one-syllable word are sorted
// by the table's score, highest first, unscored ones after the scored in libhangul's order. The
// lookup never reorders one-syllable words, so their file order is the order a user sees.
//
// With the supplement (hanja_supplement.tsv: "hangul<TAB>hanja<TAB>annotations" lines, '#'
// comments) as a fourth argument, its words join the dictionary: a word libhangul has gets the new
// spellings after its own lines, a new word its lines after libhangul's words, in the supplement's
// order, with no meaning (the characters' glosses stand for one).
#include "base/TextUtil.h"
#include "core/dictionary/FrequencyTable.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct Entry {
    std::string hangul, hanja, meaning;
};

// Tabs and carriage returns would break the TSV fields; the source has none today.
std::string cleanField(std::string field)
{
    for (char& c : field)
        if (c == '\t' || c == '\r') c = ' ';
    return field;
}

bool isOneCharacter(const std::string& s)
{
    return TextUtil::characterCount(QString::fromStdString(s)) == 1;
}

std::string keyOf(const QString& hangul, const QString& hanja)
{
    return TextUtil::nfc(hangul + QLatin1Char('\t') + hanja).toStdString();
}

// The table's one-syllable scores, read by the dictionary's own reader, so the build orders by
// what the lookup would read: the same lines skipped (counted here), the last line of a pair
// winning, and no scores at all from a table that is not valid UTF-8. Keys are composed, as the
// dictionary composes its words.
bool readScores(const std::string& path, std::map<std::string, double>& scores, long& malformed, bool& invalid)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    const auto* begin = reinterpret_cast<const FrequencyTable::Byte*>(bytes.data());
    const FrequencyTable::Lines table = FrequencyTable::read(begin, begin + bytes.size());
    if (table.invalid) {
        invalid = true;
        return true;
    }
    long candidates = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t lineEnd = std::min(bytes.find('\n', at), bytes.size());
        candidates += lineEnd > at && bytes[at] != '#';
        at = lineEnd + 1;
    }
    malformed = candidates - long(table.lines.size());
    for (const FrequencyTable::Lines::Line& line : table.lines)
        if (TextUtil::characterCount(table.word(line)) == 1)
            scores[keyOf(table.word(line).toString(), table.hanja(line).toString())] = line.score;
    return true;
}

// The supplement's spellings by word, in file order; false when unreadable.
bool readSupplement(const std::string& path, std::map<std::string, std::vector<Entry>>& words,
                    std::vector<std::string>& order, long& malformed)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        const auto first = line.find('\t');
        const auto second = first == std::string::npos ? first : line.find('\t', first + 1);
        if (second == std::string::npos || first == 0 || second == first + 1) {
            ++malformed;
            continue;
        }
        const std::string hangul = TextUtil::nfc(QString::fromStdString(line.substr(0, first))).toStdString();
        auto [it, added] = words.try_emplace(hangul);
        if (added) order.push_back(hangul);
        it->second.push_back(Entry{hangul, line.substr(first + 1, second - first - 1), std::string()});
    }
    return !in.bad();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 5) {
        std::cerr << "usage: hanjaconv HANJA_TXT OUTPUT_TSV [HANJA_FREQ_TSV [SUPPLEMENT_TSV]]\n";
        return 2;
    }
    const std::string sourcePath = argv[1];
    const std::string outputPath = argv[2];
    std::map<std::string, double> scores;
    long malformedScores = 0;
    bool invalidScores = false;
    if (argc >= 4 && !readScores(argv[3], scores, malformedScores, invalidScores)) {
        std::cerr << "hanjaconv: cannot read " << argv[3] << "\n";
        return 1;
    }
    std::map<std::string, std::vector<Entry>> supplement;
    std::vector<std::string> supplementOrder;
    long malformedSupplement = 0, supplemented = 0;
    if (argc == 5 && !readSupplement(argv[4], supplement, supplementOrder, malformedSupplement)) {
        std::cerr << "hanjaconv: cannot read " << argv[4] << "\n";
        return 1;
    }
    std::ifstream in(sourcePath, std::ios::binary);
    if (!in) {
        std::cerr << "hanjaconv: cannot read " << sourcePath
                  << " (Debian's libhangul-data provides it: apt-get install libhangul-data)\n";
        return 1;
    }
    const std::string tempPath = outputPath + ".tmp";
    std::ofstream out(tempPath, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::cerr << "hanjaconv: cannot write " << tempPath << "\n";
        return 1;
    }

    // A word's lines are consecutive in the source; one word's run is held until the next begins.
    std::vector<Entry> run;
    long reordered = 0;
    const auto flush = [&] {
        if (!run.empty() && !scores.empty() && isOneCharacter(run.front().hangul)) {
            const auto scoreOf = [&](const Entry& e) {
                const auto it = scores.find(keyOf(QString::fromStdString(e.hangul), QString::fromStdString(e.hanja)));
                return it == scores.end() ? 0.0 : it->second;
            };
            const std::vector<Entry> before = run;
            std::stable_sort(run.begin(), run.end(), [&](const Entry& a, const Entry& b) { return scoreOf(a) > scoreOf(b); });
            reordered += !std::equal(run.begin(), run.end(), before.begin(),
                                     [](const Entry& a, const Entry& b) { return a.hanja == b.hanja; });
        }
        for (const Entry& e : run) out << e.hangul << '\t' << e.hanja << '\t' << e.meaning << '\n';
        // The supplement's spellings of the word follow its own, none twice.
        if (!run.empty()) {
            const auto more = supplement.find(TextUtil::nfc(QString::fromStdString(run.front().hangul)).toStdString());
            if (more != supplement.end()) {
                for (const Entry& e : more->second) {
                    if (std::any_of(run.begin(), run.end(), [&](const Entry& r) { return r.hanja == e.hanja; })) continue;
                    out << run.front().hangul << '\t' << e.hanja << '\t' << e.meaning << '\n';
                    ++supplemented;
                }
                supplement.erase(more);
            }
        }
        run.clear();
    };

    std::string line;
    long entries = 0;
    long skipped = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        // Only the first two ':' separate fields; a meaning may contain more of them.
        const auto first = line.find(':');
        if (first == std::string::npos) { ++skipped; continue; }
        const auto second = line.find(':', first + 1);
        Entry entry{cleanField(line.substr(0, first)),
                    cleanField(second == std::string::npos ? line.substr(first + 1)
                                                           : line.substr(first + 1, second - first - 1)),
                    cleanField(second == std::string::npos ? std::string() : line.substr(second + 1))};
        if (entry.hangul.empty() || entry.hanja.empty()) { ++skipped; continue; }
        if (!run.empty() && run.front().hangul != entry.hangul) flush();
        run.push_back(std::move(entry));
        ++entries;
    }
    flush();
    // The supplement's new words.
    for (const std::string& hangul : supplementOrder) {
        const auto more = supplement.find(hangul);
        if (more == supplement.end()) continue;
        for (const Entry& e : more->second) out << e.hangul << '\t' << e.hanja << '\t' << e.meaning << '\n';
        supplemented += long(more->second.size());
    }
    out.close();
    if (!out || in.bad()) {
        std::cerr << "hanjaconv: writing " << outputPath << " failed\n";
        std::remove(tempPath.c_str());
        return 1;
    }
    if (entries == 0) {
        std::cerr << "hanjaconv: " << sourcePath << " holds no entries\n";
        std::remove(tempPath.c_str());
        return 1;
    }
    if (std::rename(tempPath.c_str(), outputPath.c_str()) != 0) {
        std::cerr << "hanjaconv: cannot move " << tempPath << " to " << outputPath << "\n";
        return 1;
    }
    std::cout << "hanjaconv: " << entries << " entries";
    if (skipped) std::cout << ", " << skipped << " lines without a Hanja field skipped";
    if (argc >= 4) std::cout << "; " << reordered << " one-syllable words ordered by the frequency table";
    if (malformedScores) std::cout << " (" << malformedScores << " malformed table lines skipped)";
    if (invalidScores) std::cout << " (the table is not valid UTF-8: no scores, as the lookup reads it)";
    if (argc == 5) std::cout << "; " << supplemented << " entries from the supplement";
    if (malformedSupplement) std::cout << " (" << malformedSupplement << " malformed supplement lines skipped)";
    std::cout << "\n";
    return 0;
}
