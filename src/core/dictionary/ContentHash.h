#pragma once

// A 64-bit hash of a file's bytes, to tell whether an index file was built from the dictionary
// files at hand and whether it is whole. Four independent lanes take 32 bytes a step, so hashing
// runs at memory speed (several GB/s): the dictionary files are hashed on every start. Not for
// anything an attacker chooses; only for change and damage.

#include <QtGlobal>

#include <cstring>
#include <initializer_list>

namespace ContentHash {

namespace Detail {
constexpr quint64 kP1 = 0x9E3779B185EBCA87ull;
constexpr quint64 kP2 = 0xC2B2AE3D27D4EB4Full;
constexpr quint64 kP3 = 0x165667B19E3779F9ull;
constexpr quint64 kP4 = 0x85EBCA77C2B2AE63ull;

inline quint64 rotl(quint64 x, int r) { return (x << r) | (x >> (64 - r)); }
inline quint64 word(const unsigned char* p)
{
    quint64 w;
    std::memcpy(&w, p, 8);
    return w;
}
inline quint64 round(quint64 acc, quint64 w) { return rotl(acc + w * kP2, 31) * kP1; }
} // namespace Detail

inline quint64 hash(const unsigned char* p, size_t n, quint64 seed = 0)
{
    using namespace Detail;
    const unsigned char* const end = p + n;
    quint64 h;
    if (n >= 32) {
        quint64 a = seed + kP1 + kP2, b = seed + kP2, c = seed, d = seed - kP1;
        for (; end - p >= 32; p += 32) {
            a = round(a, word(p));
            b = round(b, word(p + 8));
            c = round(c, word(p + 16));
            d = round(d, word(p + 24));
        }
        h = rotl(a, 1) + rotl(b, 7) + rotl(c, 12) + rotl(d, 18);
        for (quint64 lane : {a, b, c, d}) h = (h ^ round(0, lane)) * kP1 + kP4;
    } else {
        h = seed + kP3;
    }
    h += quint64(n);
    for (; end - p >= 8; p += 8) h = rotl(h ^ round(0, word(p)), 27) * kP1 + kP4;
    for (; p < end; ++p) h = rotl(h ^ (*p * kP3), 11) * kP1;
    h ^= h >> 33;
    h *= kP2;
    h ^= h >> 29;
    h *= kP3;
    h ^= h >> 32;
    return h;
}

} // namespace ContentHash
