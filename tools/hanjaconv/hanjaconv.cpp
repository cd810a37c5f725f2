// Converts libhangul's Hanja list (hanja.txt: "hangul:hanja:meaning" lines, '#' comments)
// into the dictionary resource hanja.tsv ("hangul<TAB>hanja<TAB>meaning", file order kept:
// libhangul lists each word's spellings most frequent first, and that order is our tie order).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace {

// Tabs and carriage returns would break the TSV fields; the source has none today.
std::string cleanField(std::string field)
{
    for (char& c : field)
        if (c == '\t' || c == '\r') c = ' ';
    return field;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: hanjaconv HANJA_TXT OUTPUT_TSV\n";
        return 2;
    }
    const std::string sourcePath = argv[1];
    const std::string outputPath = argv[2];
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
        const std::string hangul = line.substr(0, first);
        const std::string hanja = second == std::string::npos
            ? line.substr(first + 1)
            : line.substr(first + 1, second - first - 1);
        const std::string meaning = second == std::string::npos ? std::string() : line.substr(second + 1);
        if (hangul.empty() || hanja.empty()) { ++skipped; continue; }
        out << cleanField(hangul) << '\t' << cleanField(hanja) << '\t' << cleanField(meaning) << '\n';
        ++entries;
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
    std::cout << "\n";
    return 0;
}
