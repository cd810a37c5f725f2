// The dictionary's public operations: finding the files, logging what went wrong with them,
// publishing the loaded data once complete, and the word lookups (split, candidates), each a few
// hash probes; the compounds are in HanjaDictionaryCompounds.cpp.
#include "core/dictionary/HanjaDictionary.h"

#include "base/Log.h"
#include "base/Resources.h"
#include "base/TextUtil.h"
#include "core/dictionary/CompoundParts.h"
#include "core/dictionary/DictionaryData.h"
#include "core/dictionary/DictionaryIndex.h"
#include "core/dictionary/DictionaryLoader.h"
#include "core/dictionary/MappedFile.h"
#include "core/dictionary/SeenCompounds.h"
#include "core/dictionary/UserWordTable.h"

#include <QFile>
#include <QFileInfo>

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
    const QString indexName = QStringLiteral("hanja.index");
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
        const auto scoreBytes = haveScores ? std::optional(bytes(scores)) : std::nullopt;
        // The index built from these very files is read in place; else they are parsed.
        const QString indexPath = locate(indexName);
        DictionaryIndex::Reading indexed{nullptr, QStringLiteral("absent")};
        if (!indexPath.isEmpty())
            indexed = DictionaryIndex::open(indexPath, DictionaryIndex::sourcesOf(bytes(dictionary), scoreBytes));
        if (indexed.data) {
            outcome.data = std::move(indexed.data);
        } else {
            Log::write(QStringLiteral("%1 not used (%2): %3 is parsed").arg(indexName, indexed.refusal, dictionaryName));
            outcome = DictionaryLoader::build(bytes(dictionary), scoreBytes);
        }
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

    // A user's word is a word, and its spelling counts as scored: the user chose it.
    const std::shared_ptr<const UserWordTable> user = userWords();
    const auto isUserWord = [&](QStringView w) { return user && user->hasHangul(w); };
    const auto isWord = [&](QStringView w) { return isUserWord(w) || bool(d->findKey(w)); };
    // The stem by the frequency table: the longest word with a scored spelling, else the longest.
    qsizetype stemK = 0;
    for (qsizetype k = n; k >= 2; --k) {
        const QStringView prefix = QStringView(text).first(bounds[k]);
        const DictionaryData::KeyRef key = d->findKey(prefix);
        const bool own = isUserWord(prefix);
        if (!key && !own) continue;
        if (!stemK) stemK = k;
        if (own || key.key->anyScored()) {
            stemK = k;
            break;
        }
    }
    if (!stemK) {
        if (n == 1 && isWord(text)) return Split{text, QString()};
        return std::nullopt;
    }
    // A rest that no ending begins with gives way to a shorter word followed by a known ending.
    if (stemK < n && !d->endings.isEmpty() && !d->endings.mayBeginEnding(QStringView(text).sliced(bounds[stemK]))) {
        for (qsizetype k = stemK - 1; k >= 2; --k) {
            if (d->endings.isEnding(QStringView(text).sliced(bounds[k])) && isWord(QStringView(text).first(bounds[k]))) {
                stemK = k;
                break;
            }
        }
    }
    // A rest that is no known ending, and that no word begins (no compound follows), gives way to
    // a longer word followed by a known ending or by nothing (반지름은: 반지름 + 은, not 반지 + 름은).
    const auto piece = [&](qsizetype i, qsizetype k) { return QStringView(text).sliced(bounds[i], bounds[k] - bounds[i]); };
    if (stemK < n && !d->endings.isEmpty() && !d->endings.isEnding(piece(stemK, n))) {
        bool wordFollows = false;
        for (qsizetype k = stemK + 2; k <= n && !wordFollows; ++k) wordFollows = bool(isWord(piece(stemK, k)));
        for (qsizetype k = n; k > stemK && !wordFollows; --k) {
            if ((k == n || d->endings.isEnding(piece(k, n))) && isWord(piece(0, k))) {
                stemK = k;
                break;
            }
        }
    }
    // A rest that is mostly a longer word's last syllable and its ending gives way to that longer
    // word, when a known ending or nothing is left (기린도는: 기린도 + 는, not 기린 + 도는).
    if (stemK < n && d->endings.isWordEnd(piece(stemK, n)) && isWord(piece(0, stemK + 1))
        && (stemK + 1 == n || d->endings.isEnding(piece(stemK + 1, n))))
        ++stemK;
    return Split{text.first(bounds[stemK]), text.sliced(bounds[stemK])};
}

std::optional<HanjaDictionary::Split> HanjaDictionary::syllableSplit(const QString& input)
{
    const DictionaryData* d = data();
    if (!d || d->endings.isEmpty()) return std::nullopt;
    const QString text = TextUtil::nfc(input);
    const QList<qsizetype> bounds = TextUtil::graphemeBoundaries(text);
    if (bounds.size() < 3) return std::nullopt;
    const QStringView word = QStringView(text).first(bounds[1]), rest = QStringView(text).sliced(bounds[1]);
    const std::shared_ptr<const UserWordTable> user = userWords();
    if (!d->endings.isEnding(rest) || !(d->findKey(word) || (user && user->hasHangul(word)))) return std::nullopt;
    return Split{word.toString(), rest.toString()};
}

QList<HanjaEntry> HanjaDictionary::candidates(const QString& word)
{
    const DictionaryData* d = data();
    if (!d) return {};
    const QString w = TextUtil::nfc(TextUtil::trimmed(word));
    // The user's own spellings first (the latest added first), then the dictionary's others.
    QList<HanjaEntry> out;
    QStringList own;
    if (const std::shared_ptr<const UserWordTable> user = userWords()) {
        const QList<UserWord> words = user->forHangul(w);
        for (auto it = words.crbegin(); it != words.crend(); ++it) {
            if (own.contains(it->hanja)) continue;
            own.append(it->hanja);
            out.append(HanjaEntry(it->hangul, it->hanja, it->gloss));
        }
    }
    const DictionaryData::KeyRef key = d->findKey(w);
    if (!key) return out;
    const quint32 first = key.key->firstEntry(), count = key.part->entryCount(*key.key);
    out.reserve(out.size() + count);
    for (quint32 i = first; i < first + count; ++i) {
        const HanjaEntry entry = d->entry(key, key.part->entries[i]);
        if (own.isEmpty() || !own.contains(entry.hanja())) out.append(entry);
    }
    return out;
}

std::shared_ptr<const UserWordTable> HanjaDictionary::userWords() const
{
    return m_userWords ? m_userWords() : nullptr;
}

std::optional<QByteArray> HanjaDictionary::readOptional(const QString& name, const std::optional<QByteArray>& text) const
{
    if (m_texts) {
        if (!text) Log::write(name + QStringLiteral(" not found in bundle"));
        return text;
    }
    const QString path = m_folder.isEmpty() ? Resources::locate(name) : m_folder + QLatin1Char('/') + name;
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        Log::write(name + QStringLiteral(" not found in bundle"));
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Log::write(QStringLiteral("%1 cannot be read (%2): %3").arg(name, file.errorString(), path));
        return std::nullopt;
    }
    return file.readAll();
}

QString HanjaDictionary::charGloss(QStringView character)
{
    const DictionaryData* d = data();
    if (!d) return QString();
    return d->glossOf(TextUtil::nfc(character.toString())).toString();
}

void HanjaDictionary::releaseResident()
{
    for (const DictionaryData* d : {m_data.load(std::memory_order_acquire), m_readingData.load(std::memory_order_acquire)})
        if (d && d->mapped) d->mapped->releaseResident();
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
