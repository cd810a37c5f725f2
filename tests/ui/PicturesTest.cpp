#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Pixels that are drawn (not transparent) and pixels dark enough to be text.
struct Ink {
    int opaque = 0;
    int dark = 0;
};

Ink ink(const QImage& image)
{
    Ink out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 200) ++out.opaque;
            if (c.alpha() > 200 && c.lightness() < 100) ++out.dark;
        }
    return out;
}

} // namespace

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

    const Ink drawn = ink(one);
    const int area = one.width() * one.height();
    EXPECT_GT(drawn.opaque, area * 9 / 10) << "the panel's box fills the picture";
    EXPECT_GT(drawn.dark, 300) << "the rows' text is drawn";
    EXPECT_LT(one.pixelColor(0, 0).alpha(), 128) << "the corners are rounded off";
}
