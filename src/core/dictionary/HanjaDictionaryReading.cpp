// Reading Hanja: the reversed dictionary (ReadingIndex), read from hanja_reading.index when that
// was made from the files at hand, else made from them; and a run of Han characters read as the
// fewest pieces it has readings for.
#include "core/dictionary/HanjaDictionary.h"

#include "base/Log.h"
#include "base/Resources.h"
#include "base/TextUtil.h"
#include "core/dictionary/DictionaryData.h"
#include "core/dictionary/DictionaryIndex.h"
#include "core/dictionary/InitialSound.h"
#include "core/dictionary/MappedFile.h"
#include "core/dictionary/ReadingIndex.h"
#include "core/dictionary/UserWordTable.h"

#include <QFileInfo>

#include <algorithm>
#include <climits>
#include <vector>

const DictionaryData* HanjaDictionary::readingData()
{
    if (const DictionaryData* d = m_readingData.load(std::memory_order_acquire)) return d;
    std::lock_guard lock(m_readingMutex);
    if (const DictionaryData* d = m_readingData.load(std::memory_order_acquire)) return d;
    std::unique_ptr<DictionaryData> loaded = loadReadings();
    if (!loaded) return nullptr;
    // The longest word bounds the probes of a reading. An index knows it: walking its keys again
    // here would bring their pages back after the index read let them go.
    qsizetype longest = loaded->longestKey;
    if (longest == 0)
        for (const DictionaryData::Part& part : loaded->parts)
            for (quint32 k = 0; k < part.keyCount(); ++k) longest = std::max<qsizetype>(longest, part.keyLength(part.keys[k]));
    m_readingLongest = longest;
    m_reading = std::move(loaded);
    m_readingData.store(m_reading.get(), std::memory_order_release);
    Log::write(QStringLiteral("readings loaded: %1 Hanja words").arg(m_reading->keyCount()));
    return m_reading.get();
}

std::unique_ptr<DictionaryData> HanjaDictionary::loadReadings() const
{
    if (m_texts) {
        const auto view = [](const std::optional<QByteArray>& b) { return b ? std::optional<QByteArrayView>(*b) : std::nullopt; };
        return ReadingIndex::load({m_texts->dictionary, view(m_texts->scores), view(m_texts->seen)});
    }
    const auto locate = [this](const QString& name) {
        if (m_folder.isEmpty()) return Resources::locate(name);
        const QString path = m_folder + QLatin1Char('/') + name;
        return QFileInfo::exists(path) ? path : QString();
    };
    // The dictionary's own load has told of missing files already.
    MappedFile dictionary, scores, seen;
    const auto open = [&](const QString& name, MappedFile& file) -> std::optional<QByteArrayView> {
        const QString path = locate(name);
        if (path.isEmpty() || !file.open(path)) return std::nullopt;
        return QByteArrayView(reinterpret_cast<const char*>(file.begin()), file.size());
    };
    const std::optional<QByteArrayView> dictionaryBytes = open(QStringLiteral("hanja.tsv"), dictionary);
    if (!dictionaryBytes) return nullptr;
    const ReadingIndex::Files files{*dictionaryBytes, open(QStringLiteral("hanja_freq.tsv"), scores),
                                    open(QStringLiteral("seen_compounds.tsv"), seen)};
    const QString indexName = QStringLiteral("hanja_reading.index");
    const QString indexPath = locate(indexName);
    DictionaryIndex::Reading indexed{nullptr, QStringLiteral("absent")};
    if (!indexPath.isEmpty()) indexed = DictionaryIndex::open(indexPath, ReadingIndex::sourcesOf(files));
    if (indexed.data) return std::move(indexed.data);
    Log::write(QStringLiteral("%1 not used (%2): the readings are made from the dictionary").arg(indexName, indexed.refusal));
    return ReadingIndex::load(files);
}

QList<HanjaDictionary::ReadingPiece> HanjaDictionary::readHanja(QStringView run, bool startsWord)
{
    const DictionaryData* d = readingData();
    // Each character composed (a compatibility ideograph becomes its unified form), side by side.
    QList<QStringView> original;
    QString composed;
    QList<qsizetype> at{0};
    for (qsizetype i = 0; i < run.size();) {
        const qsizetype size = run[i].isHighSurrogate() && i + 1 < run.size() && run[i + 1].isLowSurrogate() ? 2 : 1;
        original.append(run.sliced(i, size));
        composed += TextUtil::nfc(run.sliced(i, size).toString());
        at.append(composed.size());
        i += size;
    }
    const qsizetype n = original.size();
    // The user's own words read as the user wrote them, before the dictionary's readings.
    const std::shared_ptr<const UserWordTable> user = userWords();
    const qsizetype longest = std::max(m_readingLongest, user ? user->longestHanja() : 0);
    const auto ownReadings = [&](QStringView hanja) {
        QStringList readings;
        if (user)
            for (const UserWord& w : user->forHanja(hanja))
                if (!readings.contains(w.hangul)) readings.prepend(w.hangul);
        return readings;
    };
    // The fewest pieces, from the end; on a tie the longer first piece.
    std::vector<int> best(size_t(n) + 1, 0), take(size_t(n), 1);
    std::vector<DictionaryData::KeyRef> keys(static_cast<size_t>(n));
    for (qsizetype i = n - 1; i >= 0; --i) {
        best[i] = INT_MAX;
        // No word is longer than the longest, whatever the selection's length.
        for (qsizetype length = std::min(n - i, std::max<qsizetype>(longest, 1)); length >= 1; --length) {
            const qsizetype units = at[i + length] - at[i];
            if (units > longest && length > 1) continue;
            const QStringView piece = QStringView(composed).sliced(at[i], units);
            const DictionaryData::KeyRef key = d && (units <= m_readingLongest || length == 1) ? d->findKey(piece) : DictionaryData::KeyRef{};
            if (!key && length > 1 && !(user && user->longestHanja() >= units && !ownReadings(piece).isEmpty())) continue;
            if (1 + best[i + length] < best[i]) {
                best[i] = 1 + best[i + length];
                take[i] = int(length);
                keys[i] = key;
            }
        }
    }
    QList<ReadingPiece> pieces;
    QList<bool> single;
    for (qsizetype i = 0; i < n; i += take[i]) {
        ReadingPiece piece;
        for (qsizetype k = i; k < i + take[i]; ++k) piece.hanja += original[k];
        const DictionaryData::KeyRef key = keys[i];
        if (key) {
            const quint32 first = key.key->firstEntry(), count = key.part->entryCount(*key.key);
            for (quint32 e = first; e < first + count; ++e) piece.readings.append(d->entry(key, key.part->entries[e]).hanja().toString());
        }
        const QStringList own = take[i] > 1 ? ownReadings(QStringView(composed).sliced(at[i], at[i + take[i]] - at[i])) : QStringList();
        for (qsizetype r = own.size() - 1; r >= 0; --r) {
            piece.readings.removeAll(own[r]);
            piece.readings.prepend(own[r]);
        }
        piece.known = !piece.readings.isEmpty();
        if (!piece.known) piece.readings = {piece.hanja};
        single.append(take[i] == 1 && piece.known);
        // A character on its own takes the forms its place calls for.
        if (single.last()) {
            QStringList readings;
            const auto add = [&](char16_t s) {
                if (!readings.contains(QString(QChar(s)))) readings.append(QString(QChar(s)));
            };
            if (i == 0 && startsWord) {
                for (const QString& r : std::as_const(piece.readings)) add(InitialSound::atWordStart(r.at(0).unicode()));
                // A character on its own is also read as listed (樂: 악, 낙, 요, then 락).
                if (n == 1)
                    for (const QString& r : std::as_const(piece.readings)) add(r.at(0).unicode());
            } else {
                const QString before = pieces.isEmpty() ? QString() : pieces.last().readings.first();
                const char16_t last = before.isEmpty() ? 0 : before.back().unicode();
                for (qsizetype k = 0; k < piece.readings.size(); ++k) {
                    const char16_t s = piece.readings[k].at(0).unicode();
                    // The word-start form of a likelier reading (여 after 녀) is not read inside a
                    // word; a likelier reading of its own (난 before 란) is.
                    bool variant = false;
                    for (qsizetype o = 0; o < k; ++o)
                        variant = variant || (piece.readings[o] != piece.readings[k] && InitialSound::atWordStart(piece.readings[o].at(0).unicode()) == s);
                    if (!variant) add(InitialSound::afterSyllable(last, s));
                }
                if (readings.isEmpty()) readings = piece.readings;
            }
            piece.readings = readings;
        }
        pieces.append(piece);
    }
    // 不 by what follows it.
    for (qsizetype p = 0; p + 1 < pieces.size(); ++p) {
        if (!single[p] || TextUtil::nfc(pieces[p].hanja) != QStringLiteral("不")) continue;
        const QString want = InitialSound::negationReadsBu(pieces[p + 1].readings.first().at(0).unicode()) ? QStringLiteral("부")
                                                                                                            : QStringLiteral("불");
        if (const qsizetype k = pieces[p].readings.indexOf(want); k > 0) pieces[p].readings.move(k, 0);
    }
    return pieces;
}
