// Positions between the core's UTF-16 units and what applications count through AT-SPI.

#include "platform/atspi/TextOffsets.h"
#include "platform/atspi/ToolkitUnits.h"

#include <gtest/gtest.h>

using TextOffsets::LengthUnit;
using TextOffsets::Unit;

namespace {

// "a", Hangul (one unit each), an emoji outside the BMP (two units), Hangul again.
const QString mixed = QStringLiteral("a수도😀를");

} // namespace

TEST(TextOffsets, CodePointsToUtf16AndBackAcrossHangulAndEmoji)
{
    struct Row {
        qint64 codePoint;
        qint64 utf16;
    };
    for (const Row& row : {Row{0, 0}, Row{1, 1}, Row{3, 3}, Row{4, 5}, Row{5, 6}}) {
        SCOPED_TRACE(row.codePoint);
        EXPECT_EQ(TextOffsets::toUtf16(mixed, row.codePoint, Unit::codePoint), row.utf16);
        EXPECT_EQ(TextOffsets::fromUtf16(mixed, row.utf16, Unit::codePoint), row.codePoint);
    }
}

TEST(TextOffsets, PositionsWithoutCounterpartGiveNothing)
{
    EXPECT_FALSE(TextOffsets::toUtf16(mixed, 6, Unit::codePoint)); // past the end
    EXPECT_FALSE(TextOffsets::toUtf16(mixed, -1, Unit::codePoint));
    EXPECT_FALSE(TextOffsets::fromUtf16(mixed, 4, Unit::codePoint)); // inside the emoji's pair
    EXPECT_FALSE(TextOffsets::fromUtf16(mixed, 4, Unit::utf16));
    EXPECT_FALSE(TextOffsets::toUtf16(mixed, 4, Unit::utf16));
    EXPECT_FALSE(TextOffsets::fromUtf16(mixed, 7, Unit::utf16));
    EXPECT_EQ(TextOffsets::toUtf16(mixed, 6, Unit::utf16), 6);
    EXPECT_EQ(TextOffsets::toUtf16(QString(), 0, Unit::codePoint), 0);
}

TEST(TextOffsets, SeveralEmojiInARowAndALoneSurrogate)
{
    const QString emoji = QStringLiteral("😀😀😀x");
    EXPECT_EQ(TextOffsets::toUtf16(emoji, 3, Unit::codePoint), 6);
    EXPECT_EQ(TextOffsets::fromUtf16(emoji, 6, Unit::codePoint), 3);
    EXPECT_EQ(TextOffsets::fromUtf16(emoji, 7, Unit::codePoint), 4);
    // A high surrogate with no partner counts as one character, as a stray unit.
    const QString lone = QString(QChar(0xD83D)) + QStringLiteral("b");
    EXPECT_EQ(TextOffsets::toUtf16(lone, 1, Unit::codePoint), 1);
    EXPECT_EQ(TextOffsets::fromUtf16(lone, 2, Unit::codePoint), 2);
}

TEST(TextOffsets, InsertLengthsAsEachToolkitCountsThem)
{
    EXPECT_EQ(TextOffsets::length(mixed, LengthUnit::utf8Byte), 1 + 3 + 3 + 4 + 3);
    EXPECT_EQ(TextOffsets::length(mixed, LengthUnit::utf16), 6);
    EXPECT_EQ(TextOffsets::length(mixed, LengthUnit::codePoint), 5);
    EXPECT_EQ(TextOffsets::length(QStringLiteral("首都(수도)"), LengthUnit::utf8Byte), 6 + 1 + 6 + 1);

    const ToolkitUnits qt = ToolkitUnits::forToolkit(QStringLiteral("Qt"));
    EXPECT_EQ(qt.offsets, Unit::utf16);
    EXPECT_EQ(qt.insertLength, LengthUnit::utf16);
    for (const char* name : {"GTK", "gtk", "Gecko", "", "LibreOffice"}) {
        SCOPED_TRACE(name);
        const ToolkitUnits atk = ToolkitUnits::forToolkit(QString::fromUtf8(name));
        EXPECT_EQ(atk.offsets, Unit::codePoint);
        EXPECT_EQ(atk.insertLength, LengthUnit::utf8Byte);
    }
}
