#pragma once

#include "core/KeyboardLayoutFix.h"
#include "core/KeyboardLayoutFixTables.h"

// Test access to the private parts of KeyboardLayoutFix (the automaton, the key walk and the key
// table). Shared by every test file so the friend is defined once.
struct KeyboardLayoutFixAccess {
    static QString compose(QStringView jamo) { return KeyboardLayoutFix::compose(jamo); }
    static QString keys(QStringView character) { return KeyboardLayoutFix::keys(character); }
    // The jamo a QWERTY key types on the 2-set layout, or a null QChar when it is not a key.
    static QChar jamoForKey(char16_t key)
    {
        return key < 128 ? QChar(KeyboardLayoutFix::tables().qwertyToJamo[key]) : QChar();
    }
    // Whether a compatibility jamo is one of the compound vowels (ㅘ) or compound finals (ㄳ) of the tables.
    static bool isCompoundVowel(QChar c) { return isJamo(c) && KeyboardLayoutFix::tables().vowelDecompose[offset(c)].first; }
    static bool isCompoundFinal(QChar c) { return isJamo(c) && KeyboardLayoutFix::tables().finalDecompose[offset(c)].first; }
    static bool isJamo(QChar c) { return c.unicode() >= 0x3131 && c.unicode() <= 0x318E; }
    static int offset(QChar c) { return c.unicode() - 0x3131; }
    // The jamo of a key string, key by key (keys that are not in the table are skipped).
    static QString jamoForKeys(QStringView keys)
    {
        QString out;
        for (QChar k : keys)
            if (QChar j = jamoForKey(k.unicode()); !j.isNull())
                out += j;
        return out;
    }
};
