#include "base/TextUtil.h"

#include <QTextBoundaryFinder>

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

int graphemes(const QString& s)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    int n = 0;
    while (finder.toNextBoundary() >= 0) ++n;
    return n;
}

// The fast paths skip segmentation and normalisation for "simple" text, so every simple unit must
// be a character of its own next to anything simple, and one that NFC leaves alone.
TEST(TextUtil, everySimpleUnitIsACharacterOfItsOwnThatNfcKeeps)
{
    QStringList wrong;
    for (char32_t u = 0; u <= 0xFFFF; ++u) {
        if (!TextUtil::isSimpleUnit(char16_t(u))) continue;
        const QChar c{char16_t(u)};
        const QString alone(c);
        const QString between = QStringLiteral("가") + c + QStringLiteral("a");
        const QString twice(2, c);
        const bool ok = c.combiningClass() == 0 && alone.normalized(QString::NormalizationForm_C) == alone
            && twice.normalized(QString::NormalizationForm_C) == twice && graphemes(between) == 3
            && graphemes(twice) == 2;
        if (!ok) wrong.append(QString::number(u, 16));
    }
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join(QLatin1Char(' ')).toStdString();
}

TEST(TextUtil, toneMarksJoinTheSyllableBeforeThem)
{
    // U+302E, the Hangul single dot tone mark of Middle Korean, extends the syllable it follows.
    EXPECT_EQ(TextUtil::characterCount(u"가\u302E나"), 2);
    EXPECT_EQ(TextUtil::characterPrefix(u"가\u302E나"_s, 1), u"가\u302E"_s);
    // Marks of different classes are put in canonical order.
    EXPECT_EQ(TextUtil::nfc(u"가\u302B\u302A"_s), u"가\u302A\u302B"_s);
}

} // namespace
