#pragma once

// What every end-to-end case shares: Sorelwick started once per suite as a user starts it (a
// returning user: the first run is done), a tray host beside it, and ways to see its windows.

#include "DesktopTestSupport.h"

#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <X11/X.h> // last: its macros (None, KeyPress) clash with Qt

namespace E2eTest {

using namespace DesktopTest;

inline const QString kSentence = QStringLiteral("대한민국의 수도는 서울이다.");
inline const QString kPicked = QStringLiteral("대한민국의 수도(首都)는 서울이다."); // 수도는 picked first
inline const QString kPanelTitle = QStringLiteral("소렐");
// What the test tray asks its icons to draw in: light, and unlike anything else there.
inline const QColor kTrayInk(0xf0, 0xe0, 0x30);

inline QString sorelwick() { return QStringLiteral(SORELWICK_BIN_DIR "/sorelwick"); }

inline bool shortcutRegistered() { return keyGrabbedByOthers("h", ControlMask | Mod1Mask); }

// Sorelwick, started as a returning user (the first run done) with these variables set, and ready:
// it holds its shortcut. Given a log file, its log lines go there.
inline std::unique_ptr<LaunchedApp> startSorelwick(const QStringList& environment = {}, const QString& logFile = {})
{
    if (!writeFile(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/sorelwick/defaults.json"),
                   R"({"onboardingDone": true})")) {
        ADD_FAILURE() << "cannot write the settings";
        return nullptr;
    }
    auto program = LaunchedApp::start(QStringLiteral("env"), environment + QStringList{sorelwick()}, logFile);
    if (!program || !waitUntil([] { return shortcutRegistered(); }, 15s)) {
        ADD_FAILURE() << "Sorelwick did not register its shortcut";
        return nullptr;
    }
    return program;
}

// A program that holds the clipboard with text, HTML, a PNG picture and a large blob at once (as
// a browser's copy does), and what the clipboard gave of each while it held it.
struct ClipboardHolder {
    std::unique_ptr<LaunchedApp> program;
    QList<QPair<QString, QByteArray>> formats;

    bool start()
    {
        program = LaunchedApp::start(QStringLiteral(SORELWICK_X11_HELPER), {QStringLiteral("formats")});
        if (!program || !program->said("owned", 1, 10s)) return false;
        for (const char* type : {"text/plain", "text/html", "image/png", "application/x-sorelwick-blob"}) {
            const std::optional<QByteArray> data = selectionData(QStringLiteral("clipboard"), QString::fromLatin1(type));
            if (!data) return false;
            formats.append({QString::fromLatin1(type), *data});
        }
        return true;
    }
    // Whether the clipboard holds every format again as the holder gave it.
    bool isBack() const
    {
        return std::all_of(formats.begin(), formats.end(), [](const auto& format) {
            return selectionData(QStringLiteral("clipboard"), format.first) == format.second;
        });
    }
};

class EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_tray = LaunchedApp::start(QStringLiteral("trayer"),
                                {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                                 QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                                 QStringLiteral("--height"), QStringLiteral("24"), QStringLiteral("--SetDockType"),
                                 QStringLiteral("true")});
        s_app = startSorelwick();
        // Then the tray asks for a light icon, as a panel does that turns dark (16 bits a channel,
        // for the foreground, error, warning and success colours alike).
        std::vector<long> ink;
        for (int i = 0; i < 4; ++i) ink.insert(ink.end(), {kTrayInk.red() * 257, kTrayInk.green() * 257, kTrayInk.blue() * 257});
        EXPECT_TRUE(waitUntil([&] { return setTrayColours(ink); }, 10s)) << "trayer took no tray selection";
    }
    static void TearDownTestSuite()
    {
        s_app.reset();
        s_tray.reset();
        // The X server lets go of the ended program's shortcut when it has handled its closed
        // connection, which on a busy machine can come after the next suite's start grabs it.
        EXPECT_TRUE(waitUntil([] { return !shortcutRegistered(); }, 10s)) << "the ended Sorelwick's shortcut stays held";
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_app && s_app->running()) << "Sorelwick is not running";
        // Every case starts with no panel up.
        ASSERT_TRUE(panelGone());
    }

    static std::optional<DesktopTest::Window> panel() { return visibleWindow(s_app->pid(), kPanelTitle); }
    static bool waitForPanel() { return waitUntil([] { return panel().has_value(); }, 5s); }
    static bool panelGone() { return waitUntil([] { return !panel(); }, 3s); }
    // `key` pressed: whether the panel goes.
    static bool closes(const QString& key = QStringLiteral("Escape"))
    {
        pressChord(key);
        return panelGone();
    }
    // The panel with its rows, not only the loading header (which is far lower than 3 rows), and
    // holding the keys: it takes them once its window is viewable, which may come a little after.
    static bool waitForList()
    {
        return waitUntil([] { return panel() && panel()->geometry.height() >= 100 && keyboardGrabbedElsewhere(); }, 5s);
    }

    // The panel's picture, to tell a key's next list from the one before it.
    static QImage panelShot()
    {
        const auto shown = panel();
        return shown ? screenshot(shown->geometry) : QImage();
    }
    static bool waitForNextList(const QImage& before)
    {
        return waitUntil([&] {
            const QImage now = panelShot();
            return !now.isNull() && now != before;
        }, 10s) && waitForList();
    }

    // Ctrl+Alt+H pressed: whether the list came up.
    static bool shortcutShowsList()
    {
        pressChord(QStringLiteral("ctrl+alt+h"));
        return waitForList();
    }
    // Whether `text` comes to read `expected` (what it read if not).
    static testing::AssertionResult reads(const std::function<QString()>& text, const QString& expected)
    {
        if (waitUntil([&] { return text() == expected; }, 10s)) return testing::AssertionSuccess();
        return testing::AssertionFailure() << "it reads " << text().toStdString();
    }
    // `key` pressed in the list: whether `text` comes to read `expected`.
    static testing::AssertionResult picks(const std::function<QString()>& text, const QString& expected = kPicked,
                                          const QString& key = QStringLiteral("1"))
    {
        pressChord(key);
        return reads(text, expected);
    }

    // A second start with `option`: it hands the request to the running one and ends.
    static bool handOver(const QString& option)
    {
        const auto second = LaunchedApp::start(sorelwick(), {option});
        return second && waitUntil([&] { return !second->running(); }, 5s);
    }

    static bool painted(const QRect& area)
    {
        const QImage image = screenshot(area);
        for (int y = 0; y < image.height(); y += 4)
            for (int x = 0; x < image.width(); x += 4)
                if (qGray(image.pixel(x, y)) > 128) return true;
        return false;
    }

    static void saveShot(const QString& name, const QRect& area = {})
    {
        const QImage image = screenshot(area);
        EXPECT_FALSE(image.isNull());
        EXPECT_TRUE(image.save(QDir(outputFolder()).filePath(name))) << name.toStdString();
    }

    static inline std::unique_ptr<LaunchedApp> s_tray;
    static inline std::unique_ptr<LaunchedApp> s_app;
};

} // namespace E2eTest
