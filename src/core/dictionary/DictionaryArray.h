#pragma once

// One array of the loaded dictionary: a vector of its own while the loader builds it, or a view of
// a mapped index file (DictionaryIndex), which is then read in place without a copy. Reading is
// the same for both; only a built array can be changed.

#include <QtGlobal>

#include <cstddef>
#include <vector>

template <typename T>
class DictionaryArray {
public:
    // The vector, while the array is built; asking for it ends a view, so what is written is read.
    std::vector<T>& owned()
    {
        m_view = nullptr;
        return m_owned;
    }
    // Reads `count` records at `data`, which must outlive the array.
    void view(const T* data, size_t count)
    {
        std::vector<T>().swap(m_owned);
        m_view = data;
        m_count = count;
    }

    const T* data() const { return m_view ? m_view : m_owned.data(); }
    size_t size() const { return m_view ? m_count : m_owned.size(); }
    bool empty() const { return size() == 0; }
    const T& operator[](size_t i) const { return data()[i]; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + size(); }

private:
    std::vector<T> m_owned;
    const T* m_view = nullptr;
    size_t m_count = 0;
};
