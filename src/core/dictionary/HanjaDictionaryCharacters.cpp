// How often each character is used in the dictionary's words, for ordering a syllable's characters
// when a word is spelled one character at a time.
#include "core/dictionary/HanjaDictionary.h"

#include "base/TextUtil.h"
#include "core/dictionary/DictionaryData.h"

int HanjaDictionary::characterUses(QStringView character)
{
    const DictionaryData* d = data();
    if (!d) return 0;
    std::lock_guard lock(m_usesMutex);
    if (!m_characterUses) {
        QHash<QString, int> uses;
        uses.reserve(20000);
        for (quint32 id = 0; id < quint32(d->keyCount()); ++id) {
            const DictionaryData::KeyRef key = d->keyAt(id);
            const quint32 first = key.key->firstEntry(), count = key.part->entryCount(*key.key);
            for (quint32 e = first; e < first + count; ++e) {
                const QStringView hanja = d->entry(key, key.part->entries[e]).hanja();
                if (hanja.size() < 2) continue;
                for (qsizetype i = 0; i < hanja.size();) {
                    const qsizetype size = hanja[i].isHighSurrogate() && i + 1 < hanja.size() ? 2 : 1;
                    ++uses[hanja.sliced(i, size).toString()];
                    i += size;
                }
            }
        }
        m_characterUses = std::move(uses);
    }
    return m_characterUses->value(TextUtil::nfc(character.toString()));
}
