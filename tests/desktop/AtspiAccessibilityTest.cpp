// AtspiAccessibility against real editors: mousepad (GTK 3) and the Qt 6 test editor.

#include "DesktopTestSupport.h"

#include "cli/MemoryWindows.h"
#include "platform/atspi/AtspiAccessibility.h"
#include "platform/atspi/AtspiBusLink.h"
#include "platform/atspi/AtspiThread.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Workspace.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

#include <array>
#include <atomic>
#include <future>

using namespace DesktopTest;

namespace {

// A screen of the given frame (Xvfb's, or one far from every window).
std::shared_ptr<Screens> screenAt(const QRectF& frame)
{
    auto screens = std::make_shared<MemoryScreens>();
    screens->list = {{frame, frame}};
    return screens;
}

// The Xvfb screen of the desktop session.
std::shared_ptr<Screens> sessionScreen() { return screenAt(QRectF(0, 0, 1600, 1000)); }

// The window in front, to tell an editor's scale by.
std::shared_ptr<Workspace> sessionWorkspace() { return std::make_shared<X11Workspace>(X11Connection::open()); }

enum class Editor { mousepad, qt, qtRich };

std::string editorName(const testing::TestParamInfo<Editor>& info)
{
    return std::array{"Mousepad", "QtEditor", "QtRichEditor"}.at(std::size_t(info.param));
}

// The focused element of the application, if it has one on the bus.
AXElementRef focusedIn(AtspiAccessibility& ax, pid_t pid)
{
    const AXElementRef app = ax.application(pid);
    return app ? AX::as<AXElementRef>(ax.copyAttributeValue(app, Accessibility::focusedUIElementAttribute)).value_or(nullptr)
               : nullptr;
}

// The rectangle of a range of the element's text.
AXResult<AXValue> boundsOf(AtspiAccessibility& ax, const AXElementRef& element, TextRange range)
{
    return ax.copyParameterizedAttributeValue(element, Accessibility::boundsForRangeParameterizedAttribute, AXValue(range));
}

// The test editor holding text with a range selected, given options, in front and on the bus:
// its focused element.
AXElementRef startFocused(AtspiAccessibility& ax, TestEditor& editor, const QString& text, TextRange selection,
                          const QStringList& options = {})
{
    AXElementRef element;
    if (editor.start(text, selection.location, selection.length, options) && editor.program->waitForAccessible())
        waitUntil([&] { return (element = focusedIn(ax, editor.program->pid())) != nullptr; }, 5s);
    return element;
}

// Code points of the first utf16 units (keys move the caret by characters).
int codePoints(const QString& text, qsizetype utf16)
{
    return int(text.left(utf16).toUcs4().size());
}

class AtspiAccessibilityTest : public testing::TestWithParam<Editor> {
protected:
    // Opens the editor on text with the UTF-16 range selected, in front, on the accessibility bus.
    void open(const QString& text, TextRange selection)
    {
        if (GetParam() == Editor::mousepad) {
            // Selected with keys (the arrows move by characters), as a user selects.
            ASSERT_TRUE(m_mousepad.open(text));
            QStringList keys{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("5"), QStringLiteral("ctrl+Home")};
            for (int i = 0; i < codePoints(text, selection.location); ++i) keys << QStringLiteral("Right");
            for (int i = codePoints(text, selection.location); i < codePoints(text, selection.end()); ++i)
                keys << QStringLiteral("shift+Right");
            ASSERT_TRUE(xdotool(keys));
            m_app = m_mousepad.program.get();
        } else {
            ASSERT_TRUE(m_editor.start(text, selection.location, selection.length,
                                       GetParam() == Editor::qtRich ? QStringList{QStringLiteral("--rich")} : QStringList{}));
            m_app = m_editor.program.get();
        }
        ASSERT_TRUE(waitUntil([&] { return focused() != nullptr; }, 20s)) << "no focused text element";
        ASSERT_TRUE(waitUntil([&] { return AX::as<TextRange>(ax.copyAttributeValue(focused(), range)) == selection; }, 20s))
            << "the selection did not arrive";
    }

    AXElementRef focused() { return focusedIn(ax, m_app->pid()); }
    std::optional<QString> read(const AXElementRef& element, const QString& attribute)
    {
        return AX::as<QString>(ax.copyAttributeValue(element, attribute));
    }

    const QString range = Accessibility::selectedTextRangeAttribute;
    AtspiAccessibility ax{sessionScreen(), sessionWorkspace()};
    Mousepad m_mousepad;
    TestEditor m_editor;
    LaunchedApp* m_app = nullptr;
};

} // namespace

TEST_P(AtspiAccessibilityTest, ReadsSelectionRangeValueAndBoundsOnTheScreensOnly)
{
    const QString text = QStringLiteral("가나 수도를 보다\n둘째 줄");
    ASSERT_NO_FATAL_FAILURE(open(text, {3, 3}));
    AXElementRef element = focused();
    EXPECT_EQ(read(element, Accessibility::selectedTextAttribute), QStringLiteral("수도를"));
    EXPECT_EQ(read(element, Accessibility::valueAttribute), text);

    const auto bounds = AX::as<QRectF>(boundsOf(ax, element, {3, 3}));
    ASSERT_TRUE(bounds);
    const QRect window = windowFrame(m_app->window());
    EXPECT_GT(bounds->width(), 0);
    EXPECT_GT(bounds->height(), 0);
    EXPECT_TRUE(QRectF(window).contains(bounds->center())) << "bounds " << bounds->x() << "," << bounds->y()
                                                           << " outside the window";

    // An empty range has no rectangle; a range past the text is refused.
    EXPECT_FALSE(boundsOf(ax, element, {3, 0}).ok());
    EXPECT_EQ(boundsOf(ax, element, {3, 100}).error, AXError::illegalArgument);

    // Seen from screens far from every window, the rectangle is an error.
    AtspiAccessibility farAway(screenAt(QRectF(5000, 5000, 800, 600)), sessionWorkspace());
    const AXElementRef seenFar = focusedIn(farAway, m_app->pid());
    ASSERT_TRUE(seenFar);
    EXPECT_FALSE(boundsOf(farAway, seenFar, {3, 3}).ok());
}

TEST_P(AtspiAccessibilityTest, BoundsOfASelectionOnTheSecondLineAreBelowTheFirstOrAbsent)
{
    const QString text = QStringLiteral("첫째 줄의 수도\n둘째 줄의 수도를 가나다라마바사아자차카타파하 가나다라마바사아자차카타파하");
    ASSERT_NO_FATAL_FAILURE(open(text, {15, 2}));
    AXElementRef element = focused();
    const auto bounds = [&](TextRange r) { return AX::as<QRectF>(boundsOf(ax, element, r)); };
    const auto first = bounds({6, 2});
    ASSERT_TRUE(first);
    // Two characters of the same font: no third one's width more.
    const auto one = bounds({6, 1});
    ASSERT_TRUE(one);
    EXPECT_LT(first->width(), one->width() * 2.5);

    const auto second = bounds({15, 2});
    if (GetParam() == Editor::qt && !second) return; // Qt's boxes carry line 1's y there: no rectangle
    ASSERT_TRUE(second);
    EXPECT_GE(second->top(), first->bottom() - 1) << "line 2 at y " << second->y() << ", line 1 at y " << first->y();
    EXPECT_NEAR(second->left(), first->left(), 2);
    EXPECT_NEAR(second->width(), first->width(), 2);

    // A long range, from a few characters' boxes under ATK: line 1's top to line 2's bottom, from
    // the left edge line 2 starts at.
    if (GetParam() != Editor::mousepad) return;
    const auto lineTwo = bounds({9, 1});
    const auto span = bounds({6, text.size() - 6});
    ASSERT_TRUE(lineTwo && span);
    EXPECT_NEAR(span->top(), first->top(), 2);
    EXPECT_GE(span->bottom(), lineTwo->bottom() - 1);
    EXPECT_NEAR(span->left(), lineTwo->left(), 2);
}

// The emoji takes two UTF-16 units and one code point: offsets after it count UTF-16 both ways,
// and a replacement of multi-byte and outside-the-BMP text is written whole (a length counted the
// wrong way pads or truncates it).
TEST_P(AtspiAccessibilityTest, OffsetsAfterAnEmojiCountUtf16AndAReplacementIsWrittenExactly)
{
    const QString text = QStringLiteral("😀 대한민국의 수도를 안다");
    ASSERT_NO_FATAL_FAILURE(open(text, {9, 2}));
    AXElementRef element = focused();
    EXPECT_EQ(read(element, Accessibility::selectedTextAttribute), QStringLiteral("수도"));
    const auto selects = [&](TextRange r, const QString& selected) {
        return ax.setAttributeValue(element, range, AXValue(r)) == AXError::success
            && waitUntil([&] { return read(element, Accessibility::selectedTextAttribute) == selected; }, 2s)
            && AX::as<TextRange>(ax.copyAttributeValue(element, range)) == r;
    };
    EXPECT_TRUE(selects({11, 1}, QStringLiteral("를")));
    // A position inside the emoji's surrogate pair names no character.
    EXPECT_EQ(ax.setAttributeValue(element, range, AXValue(TextRange{1, 2})), AXError::illegalArgument);

    ASSERT_TRUE(selects({9, 2}, QStringLiteral("수도")));
    ASSERT_EQ(ax.setAttributeValue(element, Accessibility::selectedTextAttribute, AXValue(QStringLiteral("수도(首都)🙂"))),
              AXError::success);
    const QString expected = QStringLiteral("😀 대한민국의 수도(首都)🙂를 안다");
    EXPECT_TRUE(waitUntil([&] { return read(element, Accessibility::valueAttribute) == expected; }, 2s))
        << read(element, Accessibility::valueAttribute).value_or(QStringLiteral("(nothing)")).toStdString();
    if (GetParam() != Editor::mousepad) {
        EXPECT_TRUE(waitUntil([&] { return m_editor.text() == expected; }, 2s)) << m_editor.text().toStdString();
    }
}

// The calls time out after 500 ms; without a time-out of ours D-Bus waits 25 s. The bound lies
// between the two, far enough from 500 ms for a loaded machine.
constexpr qint64 kHungBound = 10000;

TEST_P(AtspiAccessibilityTest, AHungApplicationFailsWithinTheTimeOut)
{
    ASSERT_NO_FATAL_FAILURE(open(QStringLiteral("수도를 보다"), {0, 3}));
    AXElementRef element = focused();
    m_app->stop();
    for (const QString& attribute : {Accessibility::selectedTextAttribute, Accessibility::valueAttribute}) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(ax.copyAttributeValue(element, attribute).ok());
        EXPECT_LT(clock.elapsed(), kHungBound) << attribute.toStdString();
    }
    QElapsedTimer clock;
    clock.start();
    EXPECT_NE(ax.setAttributeValue(element, Accessibility::selectedTextAttribute, AXValue(QStringLiteral("x"))),
              AXError::success);
    EXPECT_LT(clock.elapsed(), kHungBound);

    // Awaited, the read waits off this thread: its timers keep firing through the time-out
    // (every 20 ms; a thread that waits sees none until the call is over).
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    clock.restart();
    EXPECT_FALSE(QCoro::waitFor(ax.copyAttributeValueAsync(element, Accessibility::selectedTextAttribute)).ok());
    EXPECT_LT(clock.elapsed(), kHungBound);
    EXPECT_GE(ticks, 3) << "in " << clock.elapsed() << " ms";
    m_app->resume();
    EXPECT_TRUE(waitUntil([&] { return read(element, Accessibility::selectedTextAttribute) == QStringLiteral("수도를"); }, 3s))
        << "the write must not have happened";
}

// The system-wide focus names the focused editor's text. A keyboard grab (the shortcut held down)
// takes the focus from GTK's text without giving it to anything else: the system-wide focus still
// names that text, for the press to read.
TEST_P(AtspiAccessibilityTest, SystemWideFocusFollowsTheFocusedEditorAndOutlastsAKeyboardGrab)
{
    ASSERT_NO_FATAL_FAILURE(open(QStringLiteral("수도를 보다"), {0, 2}));
    std::optional<AXElementRef> element;
    ASSERT_TRUE(waitUntil(
        [&] {
            element = AX::as<AXElementRef>(ax.copyAttributeValue(ax.systemWide(), Accessibility::focusedUIElementAttribute));
            return element && read(*element, Accessibility::selectedTextAttribute) == QStringLiteral("수도");
        },
        20s)); // the focus event may come late on a loaded machine
    const AXResult<Pid> owner = ax.processIdentifier(*element);
    EXPECT_TRUE(owner.ok());
    EXPECT_EQ(owner.value, m_app->pid());

    if (GetParam() != Editor::mousepad) return;
    const AXElementRef text = focused();
    const quint64 mark = ax.focusEventMark();
    ASSERT_TRUE(grabKeyboard(true));
    const bool lost = waitUntil([&] { return ax.focusReportsSince(text, mark).last == false; }, 20s);
    const auto seen = AX::as<AXElementRef>(ax.copyAttributeValue(ax.systemWide(), Accessibility::focusedUIElementAttribute));
    grabKeyboard(false);
    ASSERT_TRUE(lost) << "the editor did not report losing the focus to the grab";
    ASSERT_TRUE(seen);
    EXPECT_EQ(read(*seen, Accessibility::selectedTextAttribute), QStringLiteral("수도"));
}

INSTANTIATE_TEST_SUITE_P(Editors, AtspiAccessibilityTest, testing::Values(Editor::mousepad, Editor::qt, Editor::qtRich), editorName);

TEST(AtspiWrite, AReadOnlyEditorRefusesTheReplacementAndKeepsItsText)
{
    AtspiAccessibility ax{sessionScreen(), sessionWorkspace()};
    const QString text = QStringLiteral("대한민국의 수도");
    TestEditor editor;
    const AXElementRef element = startFocused(ax, editor, text, {6, 2}, {QStringLiteral("--read-only")});
    ASSERT_TRUE(element);
    EXPECT_NE(ax.setAttributeValue(element, Accessibility::selectedTextAttribute, AXValue(QStringLiteral("首都"))),
              AXError::success);
    EXPECT_EQ(AX::as<QString>(ax.copyAttributeValue(element, Accessibility::valueAttribute)), text);
}

// Focus events are dispatched on libatspi's thread: an editor's word on its focus reaches this one.
// The application in front, as the bus tells it, never waits on that thread (where a busy
// application holds it up to the call time-out): the plain form gives what was told last at once.
TEST(AtspiFocusReports, AnEditorsFocusReachesTheMainThreadAndTheFrontApplicationIsToldWithoutWaiting)
{
    AtspiAccessibility ax{sessionScreen(), sessionWorkspace()};
    TestEditor first, second;
    ASSERT_TRUE(startFocused(ax, first, QStringLiteral("수도"), {0, 0}));
    const quint64 mark = ax.focusEventMark();
    const AXElementRef other = startFocused(ax, second, QStringLiteral("보다"), {0, 0});
    ASSERT_TRUE(other);
    EXPECT_TRUE(waitUntil([&] { return ax.focusReportsSince(other, mark).last == true; }, 20s));
    EXPECT_GT(ax.focusEventMark(), mark);
    // None for a process not on the bus.
    EXPECT_EQ(ax.application(getpid() + 100000), nullptr);
    EXPECT_EQ(ax.application(0), nullptr);

    const pid_t pid = second.program->pid();
    ASSERT_TRUE(waitUntil([&] {
        const auto asked = QCoro::waitFor(ax.frontApplicationAsync());
        return asked && asked->pid == pid;
    }, 20s));
    std::promise<void> letGo;
    std::future<void> released = letGo.get_future();
    std::atomic<bool> heldToTheEnd{false};
    AtspiThread::shared()->post([&] { heldToTheEnd = released.wait_for(30s) == std::future_status::timeout; });
    const auto told = ax.frontApplication();
    letGo.set_value();
    AtspiThread::shared()->run<bool>([] { return true; });
    EXPECT_FALSE(heldToTheEnd) << "the plain form waited for the thread";
    ASSERT_TRUE(told);
    EXPECT_EQ(told->pid, pid);
}

// A password field says it is one, and its text (even the mask) is neither read nor written: Qt's
// and GTK's (zenity --password, which prints what its field holds when Return is pressed).
TEST(AtspiWrite, APasswordFieldIsNamedAndNeitherReadNorWritten)
{
    QTemporaryDir dir;
    const QString mirror = dir.filePath(QStringLiteral("mirror.txt"));
    struct Field {
        const char* name;
        QString program;
        QStringList arguments;
        QString typed; // into the field once it has the focus
        std::function<QString(LaunchedApp&)> held;
    };
    const Field fields[] = {
        {"Qt", testEditorPath(),
         {QStringLiteral("--password"), QStringLiteral("--text"), QStringLiteral("수도0420"), QStringLiteral("--mirror"), mirror},
         {}, [&](LaunchedApp&) { return readFile(mirror); }},
        {"GTK", QStringLiteral("zenity"), {QStringLiteral("--password")}, QStringLiteral("sudo0420"), [](LaunchedApp& app) {
             xdotool({QStringLiteral("key"), QStringLiteral("Return")});
             waitUntil([&] { return !app.running(); });
             return QString::fromUtf8(app.process().readAllStandardOutput()).trimmed();
         }},
    };
    for (const Field& f : fields) {
        SCOPED_TRACE(f.name);
        AtspiAccessibility ax{sessionScreen(), sessionWorkspace()};
        const auto app = LaunchedApp::start(f.program, f.arguments);
        ASSERT_TRUE(app && app->activate(10s) && app->waitForAccessible());
        if (!f.typed.isEmpty()) {
            ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("50"), f.typed}));
        }
        AXElementRef element;
        ASSERT_TRUE(waitUntil([&] { return (element = focusedIn(ax, app->pid())) != nullptr; }, 5s));
        EXPECT_EQ(AX::as<QString>(ax.copyAttributeValue(element, Accessibility::subroleAttribute)),
                  Accessibility::secureTextFieldSubrole);
        for (const QString& attribute : {Accessibility::selectedTextAttribute, Accessibility::valueAttribute})
            EXPECT_FALSE(ax.copyAttributeValue(element, attribute).ok()) << attribute.toStdString();
        EXPECT_NE(ax.setAttributeValue(element, Accessibility::selectedTextAttribute, AXValue(QStringLiteral("首都"))),
                  AXError::success);
        const QString expected = f.typed.isEmpty() ? f.arguments.at(2) : f.typed;
        EXPECT_EQ(f.held(*app), expected);
    }
}

TEST(AtspiTrust, FollowsTheSwitchPromptingTurnsItOnAndAGoneBusLeavesItAsLastRead)
{
    AtspiAccessibility ax{sessionScreen(), sessionWorkspace()};
    auto setEnabled = [](bool on) {
        QDBusMessage set = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Set"));
        set << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled") << QVariant::fromValue(QDBusVariant(on));
        return QDBusConnection::sessionBus().call(set).type() == QDBusMessage::ReplyMessage;
    };
    EXPECT_TRUE(ax.isProcessTrusted());
    ASSERT_TRUE(setEnabled(false));
    EXPECT_FALSE(ax.isProcessTrusted());
    EXPECT_TRUE(ax.isProcessTrusted(true));
    EXPECT_TRUE(ax.isProcessTrusted());

    // The bus ended under it, as when the desktop session restarts it: not taken for the switch
    // turned off, no launcher started on demand by the question, nothing asked of the closed
    // connection; a new bus is told of once it answers.
    bool returned = false;
    QObject::connect(&ax.busLink(), &AtspiBusLink::returned, [&] { returned = true; });
    const QString script = qEnvironmentVariable("SORELWICK_A11Y_BUS_SCRIPT");
    const auto busNamed = [] {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.a11y.Bus")).value();
    };

    ASSERT_EQ(QProcess::execute(script, {QStringLiteral("stop")}), 0);
    EXPECT_TRUE(waitUntil([&] { return !ax.busLink().connected(); }, 5s));
    EXPECT_TRUE(ax.isProcessTrusted());
    EXPECT_FALSE(busNamed()) << "asking started a launcher";
    EXPECT_EQ(ax.systemWide(), nullptr);
    EXPECT_EQ(ax.application(getpid()), nullptr);
    EXPECT_FALSE(returned);

    // Later tests, each a process of its own, find a bus again.
    ASSERT_EQ(QProcess::execute(script, {QStringLiteral("start")}), 0);
    EXPECT_TRUE(waitUntil([&] { return returned; }, 5s));
}

