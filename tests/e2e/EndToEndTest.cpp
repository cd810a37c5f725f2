// The whole flow on a real desktop (inside tests/desktop/session.sh, with a tray host): Sorelwick
// started as a user starts it, a GTK editor holding a sentence, keys pressed through XTest, the
// editor's text read back over the accessibility bus.

#include "EndToEndFixture.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>

namespace {

using namespace E2eTest;

// 1 in the list writes the first spelling over the selection: in mousepad (GTK) and Qt's rich text
// view (its plain one is in OtherApplications), Hanja read back to Hangul too, the list brought up
// each way a user can (the shortcut, a second start with --trigger, the shortcut held past the
// keyboard's repeat delay).
TEST_F(EndToEnd, ThePickReplacesTheSelectionInEachEditorHoweverTheListCameUp)
{
    enum How { shortcut, trigger, held };
    const std::optional<QStringList> mousepad;
    const struct {
        const char* name;
        std::optional<QStringList> qtOptions; // the Qt test editor's, or mousepad
        QString text, selected, expected;
        How how;
        const char* shot;
    } rows[] = {
        {"mousepad, Hanja to Hangul", mousepad, QStringLiteral("大韓民國의 首都는 서울이다."),
         QStringLiteral("大韓民國의 首都는"), QStringLiteral("대한민국의 수도는 서울이다."), shortcut, "reading-over-mousepad.png"},
        {"mousepad, --trigger", mousepad, kSentence, QStringLiteral("수도는"), kPicked, trigger, nullptr},
        {"mousepad, the shortcut held", mousepad, kSentence, QStringLiteral("수도는"), kPicked, held, "panel-over-mousepad.png"},
        {"QTextEdit", QStringList{QStringLiteral("--rich")}, kSentence, QStringLiteral("수도는"), kPicked, shortcut,
         "panel-over-qt-editor.png"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Mousepad gtk;
        TestEditor qt;
        std::function<QString()> text;
        if (r.qtOptions) {
            ASSERT_TRUE(qt.open(r.text, r.selected, *r.qtOptions));
            text = [&] { return qt.text(); };
        } else {
            ASSERT_TRUE(gtk.openSelected(r.text, r.selected));
            text = [&] { return gtk.text(); };
        }
        if (r.how == shortcut) pressChord(QStringLiteral("ctrl+alt+h"));
        if (r.how == trigger) {
            EXPECT_TRUE(handOver(QStringLiteral("--trigger"))) << "the second start did not hand over and end";
        }
        if (r.how == held) {
            keysDown(QStringLiteral("ctrl+alt+h"));
            const bool shown = waitForPanel();
            // Held for two seconds, three times the server's repeat delay, the panel watched all along.
            bool stayed = shown;
            const QDeadlineTimer hold(2s);
            while (shown && !hold.hasExpired()) stayed = stayed && panel().has_value();
            keysUp(QStringLiteral("h+alt+ctrl"));
            ASSERT_TRUE(shown);
            EXPECT_TRUE(stayed) << "the repeating key closed the panel";
        }
        ASSERT_TRUE(waitForList()) << "no list";
        if (r.shot) saveShot(QString::fromLatin1(r.shot));
        EXPECT_TRUE(picks(text, r.expected));
        EXPECT_TRUE(panelGone());
    }
}

// A whole sentence selected: its two words are steps, written at once, and undone with one Ctrl+Z.
TEST_F(EndToEnd, ASentenceIsSteppedThroughWrittenOnceAndUndoneInOneStep)
{
    Mousepad editor;
    ASSERT_TRUE(editor.openSelected(kSentence, kSentence));
    ASSERT_TRUE(shortcutShowsList());
    pressChord(QStringLiteral("1"));
    const QString written = QStringLiteral("대한민국(大韓民國)의 수도(首都)는 서울이다.");
    EXPECT_TRUE(picks([&] { return editor.text(); }, written));
    EXPECT_TRUE(panelGone());
    pressChord(QStringLiteral("ctrl+z"));
    EXPECT_TRUE(reads([&] { return editor.text(); }, kSentence));
}

// 범용 as 汎用, which the dictionary lacks: spelled one character at a time (Tab, then a digit for
// each syllable), written, and kept as the user's word.
TEST_F(EndToEnd, AWordSpelledCharacterByCharacterIsWrittenAndKept)
{
    // Which rows 汎 and 用 are on, as a simulated session on its own words and settings shows them.
    QTemporaryDir scratch;
    const std::optional<QByteArray> simulated = run(
        QStringLiteral("env"), {QStringLiteral("XDG_DATA_HOME=") + scratch.path(), QStringLiteral("XDG_CONFIG_HOME=") + scratch.path(),
                                sorelwick(), QStringLiteral("simulate"), QStringLiteral("범용"), QStringLiteral("--compose"),
                                QStringLiteral("1,1")}, 60s);
    ASSERT_TRUE(simulated);
    const QStringList lines = QString::fromUtf8(*simulated).split(QLatin1Char('\n'));
    const auto rowOf = [&](const QString& header, const QString& hanja) {
        const qsizetype at = lines.indexOf(header);
        for (qsizetype i = at + 1; at >= 0 && i < lines.size() && !lines[i].isEmpty(); ++i)
            if (lines[i].endsWith(QStringLiteral(". ") + hanja)) return lines[i].section(QLatin1Char('.'), 0, 0).trimmed();
        return QString();
    };
    const QString bum = rowOf(QStringLiteral("[범]용 · 1/2"), QStringLiteral("汎"));
    const QString yong = rowOf(QStringLiteral("범[용] · 2/2"), QStringLiteral("用"));
    ASSERT_FALSE(bum.isEmpty() || yong.isEmpty()) << lines.join(QLatin1Char('\n')).toStdString();

    const QString words = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/sorelwick/words.txt");
    QFile::remove(words);
    Mousepad editor;
    ASSERT_TRUE(editor.openSelected(QStringLiteral("범용 도구를 쓴다."), QStringLiteral("범용")));
    ASSERT_TRUE(shortcutShowsList());
    // Each syllable's rows are a list of their own, which takes the keys once it is up.
    QImage shown = panelShot();
    pressChord(QStringLiteral("Tab"));
    ASSERT_TRUE(waitForNextList(shown));
    saveShot(QStringLiteral("compose-over-mousepad.png"));
    shown = panelShot();
    pressChord(bum);
    ASSERT_TRUE(waitForNextList(shown));
    EXPECT_TRUE(picks([&] { return editor.text(); }, QStringLiteral("범용(汎用) 도구를 쓴다."), yong));
    EXPECT_TRUE(readFile(words).contains(QStringLiteral("범용:汎用:"))) << readFile(words).toStdString();
    QFile::remove(words);
}

// The one screen split into two monitors side by side, as RandR reports them to Qt, for as long
// as the object lives.
struct TwoMonitors {
    static constexpr int split = 800;
    bool ok = false;
    TwoMonitors()
    {
        const QSize size = QGuiApplication::primaryScreen()->geometry().size();
        const auto monitor = [&](const char* name, int x, const char* output) {
            const QString geometry = QStringLiteral("%1/200x%2/250+%3+0").arg(split).arg(size.height()).arg(x);
            return run(QStringLiteral("xrandr"), {QStringLiteral("--setmonitor"), QString::fromLatin1(name), geometry,
                                                  QString::fromLatin1(output)}).has_value();
        };
        ok = size.width() == 2 * split && monitor("SorelLeft", 0, "screen") && monitor("SorelRight", split, "none")
            && waitUntil([] { return QGuiApplication::screens().size() == 2; }, 5s);
    }
    ~TwoMonitors()
    {
        for (const char* name : {"SorelLeft", "SorelRight"})
            run(QStringLiteral("xrandr"), {QStringLiteral("--delmonitor"), QString::fromLatin1(name)});
        EXPECT_TRUE(waitUntil([] { return QGuiApplication::screens().size() == 1; }, 5s));
    }
};

// With nothing selected the notice shows at the pointer; when the pointer rests on another monitor
// than the editor typed in, on the editor's.
TEST_F(EndToEnd, WithNothingSelectedTheNoticeShowsAtThePointerOrOnTheMonitorTypedOn)
{
    TwoMonitors monitors;
    ASSERT_TRUE(monitors.ok) << "could not split the screen into two monitors";
    Mousepad editor;
    ASSERT_TRUE(editor.open(kSentence));
    const QString window = QString::number(editor.program->window());
    ASSERT_TRUE(xdotool({QStringLiteral("windowsize"), QStringLiteral("--sync"), window, QStringLiteral("600"), QStringLiteral("400")}));
    ASSERT_TRUE(xdotool({QStringLiteral("windowmove"), QStringLiteral("--sync"), window, QStringLiteral("100"), QStringLiteral("200")}));
    ASSERT_TRUE(editor.program->activate(5s));
    const QRect editorFrame = windowFrame(editor.program->window());
    for (const QPoint pointer : {QPoint(150, 680), QPoint(1200, 500)}) {
        SCOPED_TRACE(pointer.x());
        xdotool({QStringLiteral("mousemove"), QString::number(pointer.x()), QString::number(pointer.y())});
        pressChord(QStringLiteral("ctrl+alt+h"));
        ASSERT_TRUE(waitForPanel());
        const QRect frame = panel()->geometry;
        if (pointer.x() < TwoMonitors::split) {
            EXPECT_LT((frame.topLeft() - pointer).manhattanLength(), 200) << frame.x() << "," << frame.y();
        } else {
            EXPECT_LT(frame.right(), TwoMonitors::split) << frame.x() << "," << frame.y();
            EXPECT_TRUE(editorFrame.contains(frame.topLeft())) << frame.x() << "," << frame.y();
        }
        EXPECT_TRUE(closes());
    }
    EXPECT_EQ(editor.text(), kSentence);
}

// Typing on instead of picking: the panel holds the keyboard, yet the key replaces the selection
// as it would without Sorelwick, with its modifiers, and the keys after it follow in order.
TEST_F(EndToEnd, AKeyOrClickThatPicksNothingGoesOnToTheEditor)
{
    const QString text = QStringLiteral("수도 서울");
    Mousepad editor;
    ASSERT_TRUE(editor.open(text));
    const auto listOver = [&](const QString& part) {
        if (!setApplicationText(editor.pid(), text) || !waitUntil([&] { return editor.text() == text; }, 5s)
            || !editor.select(part))
            return false;
        return shortcutShowsList();
    };
    const auto shown = [&] { return editor.text(); };
    // As a typist presses it: still down when the panel has taken it and let the keyboard go.
    const auto typeHeld = [](const QString& key) {
        keysDown(key);
        EXPECT_TRUE(panelGone());
        keysUp(key);
    };

    ASSERT_TRUE(listOver(QStringLiteral("수도")));
    typeHeld(QStringLiteral("x"));
    EXPECT_TRUE(reads(shown, QStringLiteral("x 서울")));
    pressChord(QStringLiteral("y"));
    EXPECT_TRUE(reads(shown, QStringLiteral("xy 서울")));

    // A quick tap, let go before the panel saw it.
    ASSERT_TRUE(listOver(QStringLiteral("수도")));
    pressChord(QStringLiteral("z"));
    EXPECT_TRUE(reads(shown, QStringLiteral("z 서울")));

    // Shift held over both keys: the first arrives shifted and the user's Shift stays down.
    ASSERT_TRUE(listOver(QStringLiteral("수도")));
    keysDown(QStringLiteral("shift"));
    typeHeld(QStringLiteral("x"));
    EXPECT_TRUE(reads(shown, QStringLiteral("X 서울")));
    pressChord(QStringLiteral("y"));
    keysUp(QStringLiteral("shift"));
    EXPECT_TRUE(reads(shown, QStringLiteral("XY 서울")));

    // The click that closes the panel is the editor's too: it moves the caret, and the next key is
    // typed there instead of over the selection.
    ASSERT_TRUE(listOver(QStringLiteral("수도")));
    const auto last = textExtents(editor.pid(), int(text.size()) - 1, int(text.size()));
    ASSERT_TRUE(last);
    clickAt(QPoint(last->right() + 40, last->center().y())); // past the end of the line
    EXPECT_TRUE(panelGone());
    // The window manager may hold the click a moment (its focus binding) while a key would not
    // wait: the key once the click has reached the editor.
    EXPECT_TRUE(waitUntil([&] { return caretOffset(editor.pid()) == int(text.size()); }, 5s));
    pressChord(QStringLiteral("x"));
    EXPECT_TRUE(reads(shown, text + QStringLiteral("x")));

    // A keypad digit picks nothing: with Num Lock on it types its digit.
    pressChord(QStringLiteral("Num_Lock"));
    struct NumLockOff {
        ~NumLockOff() { pressChord(QStringLiteral("Num_Lock")); }
    } numLockOff;
    ASSERT_TRUE(listOver(QStringLiteral("수도")));
    pressChord(QStringLiteral("KP_1"));
    EXPECT_TRUE(reads(shown, QStringLiteral("1 서울")));
}

// Korean is typed through an input method (ibus-hangul here): the pick goes in past it, and a
// key typed on instead of picking starts a syllable that the next keys complete.
TEST_F(EndToEnd, TypingOnComposesThroughTheInputMethod)
{
    const auto ibus = LaunchedApp::start(QStringLiteral("ibus-daemon"), {QStringLiteral("--panel=disable")});
    ASSERT_TRUE(ibus);
    ASSERT_TRUE(waitUntil([] { return run(QStringLiteral("ibus"), {QStringLiteral("engine"), QStringLiteral("hangul")}).has_value(); }, 20s))
        << "ibus-daemon did not take the Hangul engine";
    Mousepad editor;
    ASSERT_TRUE(editor.open(QStringLiteral("수도 서울"), {QStringLiteral("GTK_IM_MODULE=ibus")}));
    const auto shown = [&] { return editor.text(); };
    // ibus-hangul starts in Latin, and composes only once mousepad's input context has reached the
    // daemon: a syllable is typed over 서울 until one comes out, switching to Hangul while Latin does.
    const QString text = QStringLiteral("수도 서울");
    const auto composes = [&] {
        if (!setApplicationText(editor.pid(), text) || !reads(shown, text) || !editor.select(QStringLiteral("서울")))
            return false;
        for (const char* key : {"g", "k", "s", "space"}) pressChord(QString::fromLatin1(key));
        waitUntil([&] { return editor.text().endsWith(QLatin1Char(' ')); }, 3s);
        if (editor.text() == QStringLiteral("수도 한 ")) return true;
        pressChord(QStringLiteral("shift+space")); // to Hangul
        return false;
    };
    ASSERT_TRUE(waitUntil(composes, 40s)) << "ibus-hangul never composed: " << editor.text().toStdString();
    ASSERT_TRUE(setApplicationText(editor.pid(), text) && reads(shown, text));

    ASSERT_TRUE(editor.select(QStringLiteral("수도")));
    ASSERT_TRUE(shortcutShowsList());
    EXPECT_TRUE(picks(shown, QStringLiteral("수도(首都) 서울")));

    ASSERT_TRUE(setApplicationText(editor.pid(), text) && reads(shown, text));
    ASSERT_TRUE(editor.select(QStringLiteral("수도")));
    ASSERT_TRUE(shortcutShowsList());
    keysDown(QStringLiteral("g")); // ㅎ, held as a typist holds it
    EXPECT_TRUE(panelGone());
    // Once the panel lets go of the keyboard, the key is let go and pressed again for the editor;
    // a typist's next key comes after that, and typed sooner it would come before ㅎ.
    EXPECT_TRUE(waitUntil([] { return !keyIsDown(QStringLiteral("g")); }, 3s));
    keysUp(QStringLiteral("g"));
    for (const char* key : {"k", "s", "space"}) pressChord(QString::fromLatin1(key)); // ㅏ ㄴ: 한, committed
    EXPECT_TRUE(reads(shown, QStringLiteral("한  서울"))) << editor.text().toStdString();
}

TEST_F(EndToEnd, TheTrayIconOpensTheMenu)
{
    // The icon sits in trayer: our small window there.
    std::optional<DesktopTest::Window> icon;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const DesktopTest::Window& w : visibleWindows(s_app->pid()))
                if (w.geometry.width() <= 64 && w.geometry.height() <= 64) icon = w;
            return icon.has_value();
        },
        10s))
        << "no tray icon";
    // Drawn in the colour the tray asked for, once it is drawn at all. The tray scales the icon,
    // so the nearest pixel to that colour counts, channel by channel.
    const auto nearest = [&] {
        const QImage drawn = screenshot(icon->geometry);
        int best = 255;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x) {
                const QColor c = drawn.pixelColor(x, y);
                best = std::min(best, std::max({std::abs(c.red() - kTrayInk.red()), std::abs(c.green() - kTrayInk.green()),
                                                std::abs(c.blue() - kTrayInk.blue())}));
            }
        return best;
    };
    EXPECT_TRUE(waitUntil([&] { return nearest() <= 16; }, 5s)) << "the icon is not in the tray's colour: " << nearest();
    const QList<DesktopTest::Window> before = visibleWindows(s_app->pid());
    clickAt(icon->geometry.center());
    std::optional<DesktopTest::Window> menu;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const DesktopTest::Window& w : visibleWindows(s_app->pid()))
                if (w.geometry.height() > 100 && w.name != kPanelTitle) menu = w;
            return menu.has_value();
        },
        5s))
        << "no menu after a click on the tray icon";
    saveShot(QStringLiteral("tray-menu.png"), menu->geometry.united(icon->geometry).adjusted(-20, -10, 20, 20));
    pressChord(QStringLiteral("Escape"));
    EXPECT_TRUE(waitUntil([&] { return visibleWindows(s_app->pid()).size() == before.size(); }, 3s));
}

// A second start with an option opens the window it names in the running one, and ends.
TEST_F(EndToEnd, ASecondStartHandsItsWindowToTheRunningOne)
{
    const struct {
        const char *option, *title, *shot;
    } windows[] = {{"--settings", "소렐 설정", "settings.png"}, {"--onboarding", "소렐 시작하기", "onboarding.png"}};
    for (const auto& w : windows) {
        const QString title = QString::fromUtf8(w.title);
        SCOPED_TRACE(w.option);
        EXPECT_TRUE(handOver(QString::fromLatin1(w.option))) << "the second start did not hand over and end";
        std::optional<DesktopTest::Window> window;
        ASSERT_TRUE(waitUntil([&] { return (window = visibleWindow(s_app->pid(), title)).has_value(); }, 5s))
            << "no window";
        // The picture once the window has painted its content (the screen is black behind it).
        EXPECT_TRUE(waitUntil([&] { return painted(window->geometry); }, 5s));
        saveShot(QString::fromLatin1(w.shot), window->geometry.adjusted(-10, -30, 10, 10));
        pressChord(QStringLiteral("alt+F4"));
        EXPECT_TRUE(waitUntil([&] { return !visibleWindow(s_app->pid(), title); }, 5s));
    }
    EXPECT_TRUE(s_app->running());
}

// Started in a Wayland session that offers X too, with Qt told to draw on Wayland (set for other
// programs): Sorelwick stays on X, where its shortcut, chords and panel work.
TEST(WaylandSession, SorelwickStaysOnXWhereTheSessionOffersIt)
{
    auto app = startSorelwick({QStringLiteral("QT_QPA_PLATFORM=wayland"), QStringLiteral("XDG_SESSION_TYPE=wayland")});
    ASSERT_TRUE(app) << "it does not hold its shortcut";
    app.reset();
    EXPECT_TRUE(waitUntil([] { return !shortcutRegistered(); }, 10s)) << "the ended Sorelwick's shortcut stays held";
}

} // namespace
