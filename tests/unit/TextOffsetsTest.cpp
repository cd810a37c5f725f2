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

TEST(TextOffsets, CodePointsToUtf16AndBackAcrossHangulEmojiAndALoneSurrogate)
{
    // A high surrogate with no partner counts as one character, as a stray unit.
    const QString emoji = QStringLiteral("😀😀😀x"), lone = QString(QChar(0xD83D)) + QStringLiteral("b");
    struct Row {
        const QString& text;
        qint64 codePoint;
        qint64 utf16;
    };
    for (const Row& row : {Row{mixed, 0, 0}, Row{mixed, 1, 1}, Row{mixed, 3, 3}, Row{mixed, 4, 5}, Row{mixed, 5, 6},
                           Row{emoji, 3, 6}, Row{emoji, 4, 7}, Row{lone, 1, 1}, Row{lone, 2, 2}}) {
        SCOPED_TRACE(testing::Message() << row.text.toStdString() << " " << row.codePoint);
        EXPECT_EQ(TextOffsets::toUtf16(row.text, row.codePoint, Unit::codePoint), row.utf16);
        EXPECT_EQ(TextOffsets::fromUtf16(row.text, row.utf16, Unit::codePoint), row.codePoint);
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

TEST(TextOffsets, InsertLengthsAsEachToolkitCountsThem)
{
    EXPECT_EQ(TextOffsets::length(mixed, LengthUnit::utf8Byte), 1 + 3 + 3 + 4 + 3);
    EXPECT_EQ(TextOffsets::length(mixed, LengthUnit::utf16), 6);
    EXPECT_EQ(TextOffsets::length(mixed, LengthUnit::codePoint), 5);

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
