#pragma once

// The loaded dictionary: words, entries and glosses as offsets into two big texts, with a hash
// index over the words and one over the glossed characters. A few large arrays instead of a
// string per field keep the memory near the file's size and a lookup to a couple of cache misses.
// Built once by DictionaryLoader, read-only afterwards; or read in place from a prebuilt index
// file (DictionaryIndex), whose arrays have the same layout.

#include "core/dictionary/DictionaryArray.h"
#include "core/dictionary/HanjaEntry.h"
#include "core/dictionary/HashIndex.h"
#include "core/dictionary/KnownEndings.h"
#include "core/dictionary/TextHash.h"

#include <QString>
#include <QStringView>

#include <algorithm>
#include <memory>
#include <utility>

class MappedFile;
#include <vector>

struct DictionaryData {
    // Key k of a part: its text is keyText[offset, next key's offset), its entries are
    // entries[firstEntry, next key's firstEntry); a closing key ends both lists.
    struct Key {
        quint32 offset;
        quint32 entryAndFlag; // first entry, and the top bit: some spelling has a score

        quint32 firstEntry() const { return entryAndFlag & 0x7FFFFFFF; }
        bool anyScored() const { return entryAndFlag & 0x80000000u; }
    };
    // The meaning follows the spelling directly in the text. Lengths of 0xFFFF or more are kept
    // in longEntries, by offset, and both fields here read 0xFFFF.
    struct Entry {
        quint32 hanjaOffset;
        quint16 hanjaLength;
        quint16 meaningLength;
    };
    struct LongEntry {
        quint32 hanjaOffset;
        quint32 hanjaLength;
        quint32 meaningLength;
    };
    struct Gloss {
        quint32 part;
        quint32 charOffset;
        quint32 charLength;
        quint32 glossOffset;
        quint32 glossLength;
    };

    // A stretch of whole lines of the dictionary, parsed on its own (DictionaryParser): the
    // file's head and tail are read by two threads and kept as they are, with one index over both.
    struct Part {
        QString keyText; // each word once
        QString text;    // each entry's spelling and meaning
        DictionaryArray<Key> keys; // runs of lines with the same word while loading
        DictionaryArray<Entry> entries;
        DictionaryArray<LongEntry> longEntries;
        DictionaryArray<Gloss> glosses; // candidates in file order until indexed
        std::vector<quint64> runHashes; // of runs not indexed yet
        quint32 wordsUsed = 0;
        quint32 textUsed = 0;

        quint32 keyCount() const { return keys.empty() ? 0 : quint32(keys.size() - 1); }
        quint32 keyLength(const Key& k) const { return (&k + 1)->offset - k.offset; }
        quint32 entryCount(const Key& k) const { return (&k + 1)->firstEntry() - k.firstEntry(); }
        const char16_t* words() const { return DictionaryText::unitsOf(keyText); }
        const char16_t* units() const { return DictionaryText::unitsOf(text); }
        std::pair<quint32, quint32> lengths(const Entry& e) const
        {
            if (e.hanjaLength != 0xFFFF) return {e.hanjaLength, e.meaningLength};
            const auto it = std::lower_bound(longEntries.begin(), longEntries.end(), e.hanjaOffset,
                                             [](const LongEntry& l, quint32 offset) { return l.hanjaOffset < offset; });
            return {it->hanjaLength, it->meaningLength};
        }

        void append(Part& tail);
        void finishText();
    };

    struct KeyRef {
        const Part* part = nullptr;
        const Key* key = nullptr;
        explicit operator bool() const { return key != nullptr; }
    };

    // What a dictionary read from an index file reads: the mapping, kept as long as the data.
    std::shared_ptr<const void> storage;
    // The mapped index file among them, whose touched pages can be let go (null otherwise).
    const MappedFile* mapped = nullptr;
    Part parts[2]; // head, tail
    quint32 headKeys = 0; // key ids below are the head's, the others the tail's
    HashIndex keyIndex;
    DictionaryArray<Gloss> glosses;
    HashIndex glossIndex;
    qsizetype scoreCount = 0;
    // UTF-16 units of the longest word; set by an index read, which walks the keys before their
    // pages are let go (0: not known).
    quint32 longestKey = 0;
    KnownEndings endings; // empty when known_endings.tsv is missing: the split then keeps its plain rule
    std::vector<std::pair<quint32, quint32>> repeats; // while loading: (run, the earlier run of its word)

    qsizetype keyCount() const { return qsizetype(parts[0].keyCount()) + parts[1].keyCount(); }
    KeyRef keyAt(quint32 id) const
    {
        return id < headKeys ? KeyRef{&parts[0], &parts[0].keys[id]} : KeyRef{&parts[1], &parts[1].keys[id - headKeys]};
    }
    quint32 idOf(const KeyRef& k) const
    {
        return quint32(k.key - k.part->keys.data()) + (k.part == &parts[0] ? 0 : headKeys);
    }
    bool keyIs(quint32 id, const char16_t* word, quint32 length) const
    {
        const KeyRef k = keyAt(id);
        return k.part->keyLength(*k.key) == length && DictionaryText::sameText(k.part->words() + k.key->offset, word, length);
    }

    KeyRef findKey(QStringView word, quint64 hash) const
    {
        const auto id = keyIndex.find(hash, [&](quint32 i) { return keyIs(i, word.utf16(), quint32(word.size())); });
        return id ? keyAt(*id) : KeyRef{};
    }
    KeyRef findKey(QStringView word) const { return findKey(word, DictionaryText::hashText(word)); }

    // The key's entries, borrowing the dictionary's text, in their order.
    HanjaEntry entry(const KeyRef& k, const Entry& e) const
    {
        const auto [hanjaLength, meaningLength] = k.part->lengths(e);
        const QChar* const hanja = k.part->text.constData() + e.hanjaOffset;
        return HanjaEntry::borrowed(QStringView(k.part->keyText.constData() + k.key->offset, k.part->keyLength(*k.key)),
                                    QStringView(hanja, hanjaLength), QStringView(hanja + hanjaLength, meaningLength));
    }

    // The word of a score line: among those just after the last one found first, since score
    // lines come in the dictionary's order (leaving out words, rarely more than 64 in a row), and
    // then by its hash.
    KeyRef locate(QStringView word, quint32& cursor) const
    {
        const quint32 total = quint32(keyCount());
        for (quint32 k = cursor, stop = std::min(cursor + 64, total); k < stop; ++k) {
            if (keyIs(k, word.utf16(), quint32(word.size()))) {
                cursor = k;
                return keyAt(k);
            }
        }
        const KeyRef key = findKey(word);
        if (key) cursor = idOf(key);
        return key;
    }

    // The gloss of one character (composed), or an empty view.
    QStringView glossOf(QStringView character) const;

    void indexRuns(quint32 partNo);
    void joinRepeatedWords();
    void indexGlosses();
    // Both parts as one, the head (for an index file: one part to read, the same key ids).
    void joinParts();
};
