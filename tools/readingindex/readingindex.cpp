// Builds hanja_reading.index, the dictionary read the other way (Hanja word → readings) saved
// ready to map (core/dictionary/ReadingIndex.h), from hanja.tsv, hanja_freq.tsv and
// seen_compounds.tsv at build time. A dictionary that does not load gives no index: the program
// then makes the readings from the files and the dictionary's own load says what is wrong.
#include "core/dictionary/ReadingIndex.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace {

bool readAll(const char* path, QByteArray& bytes)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "readingindex: cannot read %s: %s\n", path, qPrintable(file.errorString()));
        return false;
    }
    bytes = file.readAll();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: readingindex HANJA_TSV HANJA_FREQ_TSV SEEN_COMPOUNDS_TSV OUTPUT_INDEX\n");
        return 2;
    }
    QByteArray dictionary, scores, seen;
    if (!readAll(argv[1], dictionary) || !readAll(argv[2], scores) || !readAll(argv[3], seen)) return 1;
    const QByteArray index = ReadingIndex::build({dictionary, scores, seen});
    if (index.isEmpty()) {
        std::fprintf(stderr, "readingindex: %s is not valid UTF-8; no index is built\n", argv[1]);
        return 1;
    }
    QSaveFile out(QString::fromLocal8Bit(argv[4]));
    if (!out.open(QIODevice::WriteOnly) || out.write(index) != index.size() || !out.commit()) {
        std::fprintf(stderr, "readingindex: cannot write %s: %s\n", argv[4], qPrintable(out.errorString()));
        return 1;
    }
    std::printf("readingindex: %lld bytes\n", static_cast<long long>(index.size()));
    return 0;
}
