// The dictionary's public operations: finding the files, logging what went wrong with them,
// publishing the loaded data once complete, and the lookups, each a few hash probes.
#include "core/dictionary/HanjaDictionary.h"

#include "base/Log.h"
#include "base/Resources.h"
#include "base/TextUtil.h"
#include "core/dictionary/DictionaryData.h"
#include "core/dictionary/DictionaryLoader.h"
#include "core/dictionary/MappedFile.h"

#include <QFileInfo>

#include <algorithm>
#include <numeric>

HanjaDictionary& HanjaDictionary::shared()
{
    static HanjaDictionary* instance = new HanjaDictionary(); // never released: entries borrow from it
    return *instance;
}

HanjaDictionary::HanjaDictionary(QString folder)
    : m_folder(std::move(folder))
{
}

HanjaDictionary::HanjaDictionary(Texts texts)
    : m_texts(std::move(texts))
{
}

HanjaDictionary::~HanjaDictionary() = default;

void HanjaDictionary::loadIfNeeded() { data(); }

const DictionaryData* HanjaDictionary::data()
{
    if (const DictionaryData* d = m_data.load(std::memory_order_acquire)) return d;
    std::lock_guard lock(m_loadMutex);
    if (const DictionaryData* d = m_data.load(std::memory_order_acquire)) return d;
    std::unique_ptr<DictionaryData> loaded = load();
    if (!loaded) return nullptr;
    m_owned = std::move(loaded);
    // Published only when complete: readers see either nothing or the whole dictionary.
    m_data.store(m_owned.get(), std::memory_order_release);
    Log::write(QStringLiteral("dictionary loaded: %1 keys, %2 char glosses, %3 word scores")
                   .arg(m_owned->keyCount())
                   .arg(m_owned->glosses.size())
                   .arg(m_owned->scoreCount));
    return m_owned.get();
}

std::unique_ptr<DictionaryData> HanjaDictionary::load() const
{
    const QString dictionaryName = QStringLiteral("hanja.tsv");
    const QString scoresName = QStringLiteral("hanja_freq.tsv");
    const QString endingsName = QStringLiteral("known_endings.tsv");
    // The known endings refine the split; without them it keeps its plain rule.
    const auto readEndings = [&](DictionaryData& data, const std::optional<QByteArray>& text) {
        if (!text) {
            if (m_texts) Log::write(endingsName + QStringLiteral(" not found in bundle"));
            return;
        }
        if (const qsizetype line = data.endings.read(*text))
            Log::write(QStringLiteral("%1 is not valid UTF-8 at line %2: the split keeps its plain rule").arg(endingsName).arg(line));
    };
    DictionaryLoader::Outcome outcome;
    if (m_texts) {
        outcome = DictionaryLoader::build(m_texts->dictionary,
                                          m_texts->scores ? std::optional<QByteArrayView>(*m_texts->scores) : std::nullopt);
        if (!m_texts->scores) Log::write(scoresName + QStringLiteral(" not found in bundle"));
        if (outcome.data) readEndings(*outcome.data, m_texts->endings);
    } else {
        const auto locate = [this](const QString& name) {
            if (m_folder.isEmpty()) return Resources::locate(name);
            const QString path = m_folder + QLatin1Char('/') + name;
            return QFileInfo::exists(path) ? path : QString();
        };
        // A missing file, and one that is there but cannot be read, are told apart.
        const auto open = [&](const QString& name, MappedFile& file) {
            const QString path = locate(name);
            if (path.isEmpty()) {
                Log::write(name + QStringLiteral(" not found in bundle"));
                return false;
            }
            if (!file.open(path)) {
                Log::write(QStringLiteral("%1 cannot be read (%2): %3").arg(name, file.error(), path));
                return false;
            }
            return true;
        };
        MappedFile dictionary;
        if (!open(dictionaryName, dictionary)) return nullptr;
        MappedFile scores;
        const bool haveScores = open(scoresName, scores);
        const auto bytes = [](const MappedFile& f) {
            return QByteArrayView(reinterpret_cast<const char*>(f.begin()), f.size());
        };
        outcome = DictionaryLoader::build(bytes(dictionary), haveScores ? std::optional(bytes(scores)) : std::nullopt);
        MappedFile endings;
        if (outcome.data)
            readEndings(*outcome.data, open(endingsName, endings) ? std::optional(bytes(endings).toByteArray()) : std::nullopt);
    }
    if (outcome.invalidDictionaryLine) {
        Log::write(QStringLiteral("%1 is not valid UTF-8 at line %2: the dictionary is not loaded")
                       .arg(dictionaryName)
                       .arg(outcome.invalidDictionaryLine));
    }
    if (outcome.invalidScoresLine) {
        Log::write(QStringLiteral("%1 is not valid UTF-8 at line %2: loaded without word scores")
                       .arg(scoresName)
                       .arg(outcome.invalidScoresLine));
    }
    return std::move(outcome.data);
}

std::optional<HanjaDictionary::Split> HanjaDictionary::split(const QString& input)
{
    const DictionaryData* d = data();
    if (!d) return std::nullopt;
    const QString text = TextUtil::nfc(input);
    const QList<qsizetype> bounds = TextUtil::graphemeBoundaries(text);
    const qsizetype n = bounds.size() - 1;
    if (n < 1) return std::nullopt;

    // The stem by the frequency table: the longest word with a scored spelling, else the longest.
    qsizetype stemK = 0;
    for (qsizetype k = n; k >= 2; --k) {
        const DictionaryData::KeyRef key = d->findKey(QStringView(text).first(bounds[k]));
        if (!key) continue;
        if (!stemK) stemK = k;
        if (key.key->anyScored()) {
            stemK = k;
            break;
        }
    }
    if (!stemK) {
        if (n == 1 && d->findKey(text)) return Split{text, QString()};
        return std::nullopt;
    }
    // A rest that no ending begins with gives way to a shorter word followed by a known ending.
    if (stemK < n && !d->endings.isEmpty() && !d->endings.mayBeginEnding(QStringView(text).sliced(bounds[stemK]))) {
        for (qsizetype k = stemK - 1; k >= 2; --k) {
            if (d->endings.isEnding(QStringView(text).sliced(bounds[k])) && d->findKey(QStringView(text).first(bounds[k]))) {
                stemK = k;
                break;
            }
        }
    }
    return Split{text.first(bounds[stemK]), text.sliced(bounds[stemK])};
}

QList<HanjaEntry> HanjaDictionary::candidates(const QString& word)
{
    const DictionaryData* d = data();
    if (!d) return {};
    const DictionaryData::KeyRef key = d->findKey(TextUtil::nfc(TextUtil::trimmed(word)));
    if (!key) return {};
    const quint32 first = key.key->firstEntry(), count = key.part->entryCount(*key.key);
    QList<HanjaEntry> out;
    out.reserve(count);
    for (quint32 i = first; i < first + count; ++i) out.append(d->entry(key, key.part->entries[i]));
    return out;
}

QList<HanjaDictionary::Compound> HanjaDictionary::compounds(const QString& input, int limit)
{
    const std::optional<Split> head = split(input);
    const DictionaryData* d = data();
    if (!head || head->rest.isEmpty() || !d || d->endings.isEmpty() || limit <= 0) return {};
    const QString& rest = head->rest;
    if (d->endings.isEnding(rest)) return {};
    const QList<qsizetype> bounds = TextUtil::graphemeBoundaries(rest);
    const qsizetype n = bounds.size() - 1;

    // The parts after the stem: longest words first, until what is left is a known ending or
    // nothing. A few syllables at most, so a plain search.
    QList<qsizetype> cuts; // character positions in rest where parts end
    const auto search = [&](const auto& self, qsizetype from) -> bool {
        const QStringView left = QStringView(rest).sliced(bounds[from]);
        if (from > 0 && (left.isEmpty() || d->endings.isEnding(left))) return true;
        for (qsizetype k = n; k >= from + 2; --k) {
            if (!d->findKey(QStringView(rest).sliced(bounds[from], bounds[k] - bounds[from]))) continue;
            cuts.append(k);
            if (self(self, k)) return true;
            cuts.removeLast();
        }
        return false;
    };
    if (!search(search, 0)) return {};

    QList<QString> words{head->stem};
    qsizetype at = 0;
    for (qsizetype k : cuts) {
        words.append(rest.sliced(bounds[at], bounds[k] - bounds[at]));
        at = k;
    }
    // Each part's spellings, best first; a part without one ends the offer.
    QList<QList<HanjaEntry>> spellings;
    for (const QString& w : words) {
        QList<HanjaEntry> entries = candidates(w);
        QList<HanjaEntry> distinct;
        for (const HanjaEntry& e : entries) {
            if (e.hanja().isEmpty()) continue;
            bool seen = false;
            for (const HanjaEntry& x : distinct) seen = seen || x.hanja() == e.hanja();
            if (!seen) distinct.append(e);
            if (distinct.size() == limit) break;
        }
        if (distinct.isEmpty()) return {};
        spellings.append(distinct);
    }
    // Every choice of places, best first: the smallest sum of places, then the earlier parts'.
    QList<QList<int>> choices{QList<int>(words.size(), 0)};
    for (qsizetype p = 0; p < words.size(); ++p) {
        QList<QList<int>> more;
        for (const QList<int>& c : choices)
            for (int i = 0; i < spellings[p].size(); ++i) {
                QList<int> next = c;
                next[p] = i;
                more.append(next);
            }
        choices = more;
    }
    std::stable_sort(choices.begin(), choices.end(), [](const QList<int>& a, const QList<int>& b) {
        const int sa = std::accumulate(a.begin(), a.end(), 0), sb = std::accumulate(b.begin(), b.end(), 0);
        return sa != sb ? sa < sb : a < b;
    });
    QList<Compound> out;
    for (const QList<int>& c : choices) {
        if (out.size() == limit) break;
        Compound compound{words.join(QString()), QString(), {}, rest.sliced(bounds[at])};
        for (qsizetype p = 0; p < words.size(); ++p) {
            compound.partsHanja.append(spellings[p][c[p]].hanja().toString());
            compound.hanja += compound.partsHanja.last();
        }
        out.append(compound);
    }
    return out;
}

QString HanjaDictionary::charGloss(QStringView character)
{
    const DictionaryData* d = data();
    if (!d) return QString();
    return d->glossOf(TextUtil::nfc(character.toString())).toString();
}

qsizetype HanjaDictionary::keyCount()
{
    const DictionaryData* d = data();
    return d ? d->keyCount() : 0;
}

qsizetype HanjaDictionary::glossCount()
{
    const DictionaryData* d = data();
    return d ? qsizetype(d->glosses.size()) : 0;
}

qsizetype HanjaDictionary::scoreCount()
{
    const DictionaryData* d = data();
    return d ? d->scoreCount : 0;
}
