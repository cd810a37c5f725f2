#pragma once

// An open-addressing hash index over record ids, for the dictionary's words and glossed
// characters. A slot is one 32-bit word: the id + 1 in its low bits and hash bits above them, so
// most probes that miss never touch the text, and the whole table stays small enough for the
// cache. The records and their text are kept by the caller, which passes how to compare and
// rehash them. A built table can be saved in an index file and read from its mapping in place.

#include "core/dictionary/DictionaryArray.h"

#include <QtGlobal>

#include <algorithm>
#include <optional>
#include <vector>

class HashIndex {
public:
    // Room for count records (ids below 2 * count) before the table grows.
    void reserve(quint32 count)
    {
        int bits = 1;
        while (bits < 32 && (quint64(1) << bits) <= quint64(count) * 2 + 2) ++bits;
        m_idMask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
        m_size = quint32(std::max<quint64>(16, quint64(count) * 10 / 7 + 1));
        m_limit = quint32(quint64(m_size) * 7 / 10);
        m_slots.owned().assign(m_size, 0);
        m_count = 0;
    }

    // Reads a saved table in place (it must outlive the index): size slots, at least one of
    // them empty, ids masked by idMask (2^k - 1).
    void view(const quint32* table, quint32 size, quint32 idMask)
    {
        m_slots.view(table, size);
        m_size = size;
        m_idMask = idMask;
        m_limit = m_count = 0;
    }
    const quint32* table() const { return m_slots.data(); }
    quint32 size() const { return m_size; }
    quint32 idMask() const { return m_idMask; }

    void prefetchSlot(quint64 h) const
    {
#if defined(__GNUC__)
        __builtin_prefetch(m_slots.data() + start(h));
#else
        Q_UNUSED(h);
#endif
    }

    // The id of the record equal to the new one, or newId after adding it.
    template <typename Equal, typename HashOf>
    quint32 findOrInsert(quint64 h, quint32 newId, Equal equal, HashOf hashOf)
    {
        if (m_count >= m_limit || newId >= m_idMask) grow(std::max(m_count, newId / 2 + 1), hashOf);
        std::vector<quint32>& table = m_slots.owned();
        const quint32 tag = quint32(h) & ~m_idMask;
        for (quint32 i = start(h);; i = next(i)) {
            const quint32 slot = table[i];
            if (slot == 0) {
                table[i] = tag | (newId + 1);
                ++m_count;
                return newId;
            }
            if ((slot & ~m_idMask) == tag && equal((slot & m_idMask) - 1)) return (slot & m_idMask) - 1;
        }
    }

    template <typename Matches>
    std::optional<quint32> find(quint64 h, Matches matches) const
    {
        if (m_size == 0) return std::nullopt;
        const quint32* const table = this->table();
        const quint32 tag = quint32(h) & ~m_idMask;
        for (quint32 i = start(h);; i = next(i)) {
            const quint32 slot = table[i];
            if (slot == 0) return std::nullopt;
            if ((slot & ~m_idMask) == tag && matches((slot & m_idMask) - 1)) return (slot & m_idMask) - 1;
        }
    }

private:
    quint32 start(quint64 h) const { return quint32(((h >> 32) * m_size) >> 32); }
    quint32 next(quint32 i) const { return i + 1 == m_size ? 0 : i + 1; }

    // Moves every record to a table for twice as many.
    template <typename HashOf>
    void grow(quint32 count, HashOf hashOf)
    {
        std::vector<quint32> old;
        old.swap(m_slots.owned());
        const quint32 oldMask = m_idMask;
        reserve(std::max<quint32>(count * 2, 64));
        std::vector<quint32>& table = m_slots.owned();
        for (quint32 slot : old) {
            if (slot == 0) continue;
            const quint32 id = (slot & oldMask) - 1;
            const quint64 h = hashOf(id);
            quint32 i = start(h);
            while (table[i] != 0) i = next(i);
            table[i] = (quint32(h) & ~m_idMask) | (id + 1);
            ++m_count;
        }
    }

    DictionaryArray<quint32> m_slots;
    quint32 m_size = 0;
    quint32 m_limit = 0;
    quint32 m_idMask = 0;
    quint32 m_count = 0;
};
