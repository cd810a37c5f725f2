// Builds hanja.index, the dictionary saved ready to map (core/dictionary/DictionaryIndex.h), from
// hanja.tsv and hanja_freq.tsv at build time. Files that do not load whole give no index: the
// program then parses them and reports where they are broken.
#include "core/dictionary/DictionaryIndex.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace {

bool readAll(const char* path, QByteArray& bytes)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "dictionaryindex: cannot read %s: %s\n", path, qPrintable(file.errorString()));
        return false;
    }
    bytes = file.readAll();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: dictionaryindex HANJA_TSV HANJA_FREQ_TSV OUTPUT_INDEX\n");
        return 2;
    }
    QByteArray dictionary, scores;
    if (!readAll(argv[1], dictionary) || !readAll(argv[2], scores)) return 1;
    const QByteArray index = DictionaryIndex::build(dictionary, scores);
    if (index.isEmpty()) {
        std::fprintf(stderr, "dictionaryindex: %s or %s is not valid UTF-8; no index is built\n", argv[1], argv[2]);
        return 1;
    }
    QSaveFile out(QString::fromLocal8Bit(argv[3]));
    if (!out.open(QIODevice::WriteOnly) || out.write(index) != index.size() || !out.commit()) {
        std::fprintf(stderr, "dictionaryindex: cannot write %s: %s\n", argv[3], qPrintable(out.errorString()));
        return 1;
    }
    std::printf("dictionaryindex: %lld bytes\n", static_cast<long long>(index.size()));
    return 0;
}
