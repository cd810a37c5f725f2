// The entry value: owned text is one string holding the three fields back to back.
#include "core/dictionary/HanjaEntry.h"

#include "base/TextUtil.h"

#include <QHashFunctions>

HanjaEntry::HanjaEntry(const QString& hangul, const QString& hanja, const QString& meaning)
{
    const QString a = TextUtil::nfc(hangul);
    const QString b = TextUtil::nfc(hanja);
    const QString c = TextUtil::nfc(meaning);
    m_own = a + b + c;
    m_hangul = m_own.constData();
    m_hangulLen = a.size();
    m_hanja = m_hangul + a.size();
    m_hanjaLen = b.size();
    m_meaning = m_hanja + b.size();
    m_meaningLen = c.size();
}

HanjaEntry HanjaEntry::borrowed(QStringView hangul, QStringView hanja, QStringView meaning)
{
    HanjaEntry e;
    e.m_hangul = hangul.data();
    e.m_hangulLen = hangul.size();
    e.m_hanja = hanja.data();
    e.m_hanjaLen = hanja.size();
    e.m_meaning = meaning.data();
    e.m_meaningLen = meaning.size();
    return e;
}

size_t qHash(const HanjaEntry& entry, size_t seed) noexcept
{
    return qHashMulti(seed, entry.hangul(), entry.hanja(), entry.meaning());
}
