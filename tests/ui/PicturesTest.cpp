#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(Pictures, thePanelIsDrawn320WideWithItsText)
{
    QTemporaryDir dir;
    QProcess tool;
    tool.start(QStringLiteral(SORELWICK_TOOLS_DIR "/sorelwick_pictures"), {dir.path()});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();

    const QImage one(QDir(dir.path()).filePath(QStringLiteral("panel-list3@1x.png")));
    ASSERT_FALSE(one.isNull());
    EXPECT_EQ(one.width(), 320);
    const QImage two(QDir(dir.path()).filePath(QStringLiteral("panel-list3@2x.png")));
    EXPECT_EQ(two.size(), one.size() * 2);

    // Pixels drawn (not transparent), and those dark enough to be text.
    int opaque = 0, dark = 0;
    for (int y = 0; y < one.height(); ++y)
        for (int x = 0; x < one.width(); ++x) {
            const QColor c = one.pixelColor(x, y);
            opaque += c.alpha() > 200;
            dark += c.alpha() > 200 && c.lightness() < 100;
        }
    EXPECT_GT(opaque, one.width() * one.height() * 9 / 10) << "the panel's box fills the picture";
    EXPECT_GT(dark, 300) << "the rows' text is drawn";
    EXPECT_LT(one.pixelColor(0, 0).alpha(), 128) << "the corners are rounded off";
}
