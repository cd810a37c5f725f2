#include "base/Notifier.h"
#include "core/EnumKeys.h"
#include "core/LanguageModels.h"
#include "core/PickHistory.h"
#include "core/ShortcutCenter.h"
#include "core/WritingSettings.h"
#include "support/FakeLanguageModel.h"
#include "support/FakePlatform.h"
#include "ui/DesktopShortcutOption.h"
#include "ui/FormatOption.h"
#include "ui/MeaningOption.h"
#include "ui/OnboardingWindow.h"
#include "ui/SettingsWindow.h"
#include "ui/ShortcutRecorder.h"
#include "ui/TrayMenu.h"

#include "TestSupport.h"
#include "UiTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QScreen>
#include <QPalette>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace ModifierFlag;

namespace {

struct ShellFixture : ::testing::Test {
    std::shared_ptr<FakePlatform> fake = FakePlatform::install();
    std::shared_ptr<MemoryDefaultsStore> defaults = TestSupport::freshDefaults();
    ShortcutCenter& center = ShortcutCenter::shared();

    ShellFixture() { center.activate([] {}); }
    ~ShellFixture() override { center.change(Shortcut::defaultShortcut()); }

    bool registered(const Shortcut& s) const { return fake->hotKeys->isRegistered(s.keyCode, s.carbonModifiers()); }
};

} // namespace

// A model server started after login, or stopped: the engine line follows, the menu's own
// opening asking anew.
TEST_F(ShellFixture, TheEngineLineFollowsTheLastAvailabilityAnswer)
{
    auto model = std::make_shared<FakeLanguageModel>();
    LanguageModels::setShared(model);
    const QString ai = TrayMenu(RankEngine::model).engineItem()->text();
    TrayMenu tray(RankEngine::frequency);
    const QString frequency = tray.engineItem()->text();
    emit tray.menu()->aboutToShow();
    EXPECT_TRUE(UiTestSupport::spinUntil([&] { return tray.engineItem()->text() == ai; }));
    model->setAvailable(false);
    (void)availableModel(); // a session's question
    EXPECT_TRUE(UiTestSupport::spinUntil([&] { return tray.engineItem()->text() == frequency; }));
    LanguageModels::setShared(nullptr);
}

// A desktop without a tray host (GNOME's default): the settings window holds the menu's items,
// which act as the menu's do; with a tray they are the tray's again.
TEST_F(ShellFixture, WithoutATrayTheSettingsWindowHoldsTheMenuItems)
{
    SettingsWindow window;
    QAction autostart(QStringLiteral("로그인할 때 시작"));
    autostart.setCheckable(true);
    QAction about(QStringLiteral("소렐 정보")), quit(QStringLiteral("종료\tCtrl+Q"));
    QSignalSpy aboutAsked(&about, &QAction::triggered), quitAsked(&quit, &QAction::triggered);
    window.setMenuItems({&autostart, &about, &quit});
    EXPECT_FALSE(window.menuSection()->isVisibleTo(&window));
    window.setTrayPresent(false);
    ASSERT_TRUE(window.menuSection()->isVisibleTo(&window));

    const QList<QCheckBox*> boxes = window.menuSection()->findChildren<QCheckBox*>();
    ASSERT_EQ(boxes.size(), 1);
    boxes[0]->click();
    EXPECT_TRUE(autostart.isChecked());
    autostart.setChecked(false); // the entry removed by hand, read again
    EXPECT_FALSE(boxes[0]->isChecked());
    for (QPushButton* button : window.menuSection()->findChildren<QPushButton*>()) button->click();
    EXPECT_EQ(aboutAsked.size(), 1);
    EXPECT_EQ(quitAsked.size(), 1);

    window.setTrayPresent(true);
    EXPECT_FALSE(window.menuSection()->isVisibleTo(&window));
}

TEST_F(ShellFixture, TrayMenuTitlesFollowTheSettings)
{
    TrayMenu tray(RankEngine::frequency);
    EXPECT_EQ(tray.shortcutItem()->text(), QStringLiteral("단축키: Ctrl+Alt+H  (단어 선택 후)"));
    EXPECT_EQ(tray.engineItem()->text(), QStringLiteral("엔진: 빈도순(AI 꺼짐)"));
    EXPECT_EQ(TrayMenu(RankEngine::model).engineItem()->text(), QStringLiteral("엔진: 온디바이스 AI"));

    // A pick in the menu stores the format; choosing the format in force again keeps its check.
    const QList<QAction*> formats = tray.formatMenu()->actions();
    ASSERT_EQ(formats.size(), 3);
    formats[1]->trigger();
    formats[1]->trigger();
    EXPECT_EQ(defaults->value(WritingSettings::formatKey).toString(), QStringLiteral("hanjaParenHangul"));
    EXPECT_EQ(UiTestSupport::formatChecks(tray), QList<bool>({false, true, false}));

    ASSERT_FALSE(center.change(Shortcut{38, control | shift}));
    EXPECT_EQ(tray.shortcutItem()->text(), QStringLiteral("단축키: Ctrl+Shift+J  (단어 선택 후)"));

    // The key equivalents while the menu is open.
    QSignalSpy settings(&tray, &TrayMenu::settingsRequested);
    QSignalSpy quit(&tray, &TrayMenu::quitRequested);
    QTest::keyClick(tray.menu(), Qt::Key_Comma, Qt::ControlModifier);
    QTest::keyClick(tray.menu(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(settings.size(), 1);
    EXPECT_EQ(quit.size(), 1);
    QSignalSpy about(&tray, &TrayMenu::aboutRequested);
    QSignalSpy onboarding(&tray, &TrayMenu::onboardingRequested);
    QAction login(QStringLiteral("로그인할 때 시작"));
    tray.addItemAfterOnboarding(&login);
    EXPECT_EQ(tray.menu()->actions().indexOf(&login), tray.menu()->actions().indexOf(tray.onboardingItem()) + 1);
    tray.aboutItem()->trigger();
    tray.onboardingItem()->trigger();
    EXPECT_EQ(about.size(), 1);
    EXPECT_EQ(onboarding.size(), 1);
}

TEST_F(ShellFixture, TrayMenuSaysWhenAnotherProgramHoldsTheShortcut)
{
    const Shortcut shortcut = Shortcut::defaultShortcut();
    fake->hotKeys->takenByOthers.insert({shortcut.keyCode, shortcut.carbonModifiers()});
    center.activate([] {});
    TrayMenu tray(RankEngine::frequency);
    fake->clock->advance(ShortcutCenter::retryStepMs * ShortcutCenter::retryCount);
    EXPECT_EQ(tray.shortcutItem()->text(), QStringLiteral("단축키: Ctrl+Alt+H  (다른 프로그램이 쓰는 중)"));
    fake->hotKeys->takenByOthers.clear();
}

// The ink of the tray icon: its most opaque pixel, which lies inside a stroke of 字.
QColor trayIconInk(const TrayMenu& tray)
{
    const QImage image = tray.trayIcon()->icon().pixmap(QSize(64, 36)).toImage().convertToFormat(QImage::Format_ARGB32);
    QColor ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).alpha() > ink.alpha() || !ink.isValid()) ink = image.pixelColor(x, y);
    return ink;
}

TEST_F(ShellFixture, TrayIconTakesTheTraysColourElseTheDesktopsTextColour)
{
    std::optional<QColor> asked = QColor(0x12, 0x34, 0x56);
    TrayMenu fromTray(RankEngine::frequency, [&] { return asked; });
    EXPECT_EQ(trayIconInk(fromTray), QColor(0x12, 0x34, 0x56));

    // No colour from the tray: the text colour of the desktop's scheme, followed when it changes.
    const QPalette light = QApplication::palette();
    TrayMenu plain(RankEngine::frequency);
    EXPECT_EQ(trayIconInk(plain), light.color(QPalette::WindowText));
    QPalette dark = light;
    dark.setColor(QPalette::WindowText, QColor(0xf0, 0xf1, 0xf2));
    asked.reset(); // the tray is asked again then too: it may have gone
    QApplication::setPalette(dark);
    EXPECT_EQ(trayIconInk(plain), QColor(0xf0, 0xf1, 0xf2));
    EXPECT_EQ(trayIconInk(fromTray), QColor(0xf0, 0xf1, 0xf2));
    QApplication::setPalette(light);
}

TEST_F(ShellFixture, RecorderAcceptsRefusesAndCancels)
{
    ShortcutRecorder recorder;
    recorder.show();
    EXPECT_FALSE(recorder.sideButton()->isVisible()) << "no reset button while the default is in force";

    recorder.start();
    EXPECT_FALSE(registered(Shortcut::defaultShortcut())) << "the global shortcut is off while recording";

    // Modifiers alone only light up the key caps.
    QTest::keyPress(&recorder, Qt::Key_Control, Qt::NoModifier);
    EXPECT_EQ(recorder.liveModifiers(), control);
    EXPECT_TRUE(recorder.isRecording());
    QTest::keyRelease(&recorder, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(recorder.liveModifiers(), 0u);

    // Refused: recording goes on with the message, the shortcut stays off.
    QTest::keyClick(&recorder, Qt::Key_H, Qt::MetaModifier);
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(recorder.helpText(), QStringLiteral("Super+H — ")
                                       + ShortcutCenter::shared().change(Shortcut{KeyCode::h, command}).value_or("accepted"));
    EXPECT_EQ(fake->hotKeys->registeredCount(), 0);
    // Taken by another program: the old shortcut was put back to fall back on, and is off again.
    fake->hotKeys->takenByOthers.insert({40, Shortcut{40, control | option}.carbonModifiers()}); // K
    QTest::keyClick(&recorder, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(fake->hotKeys->registeredCount(), 0);

    // The shortcut in force may be pressed again.
    QTest::keyClick(&recorder, Qt::Key_H, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(recorder.problem());
    EXPECT_TRUE(registered(Shortcut::defaultShortcut()));

    // Accepted: stored and registered; the reset button appears.
    recorder.start();
    QTest::keyClick(&recorder, Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(center.current(), (Shortcut{38, control | option}));
    EXPECT_TRUE(registered(Shortcut{38, control | option}));
    EXPECT_EQ(defaults->value(QStringLiteral("hotKeyCode")).toInt(), 38);
    EXPECT_TRUE(recorder.sideButton()->isVisible());

    // Escape cancels; Ctrl+Escape is a combination like any other.
    recorder.start();
    QTest::keyClick(&recorder, Qt::Key_Escape);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_TRUE(registered(Shortcut{38, control | option})) << "cancelling restores the shortcut in force";
    recorder.start();
    QTest::keyClick(&recorder, Qt::Key_Escape, Qt::ControlModifier);
    EXPECT_EQ(center.current(), (Shortcut{KeyCode::escape, control}));

    // Hiding the control ends the recording and restores the shortcut.
    recorder.start();
    recorder.hide();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(fake->hotKeys->registeredCount(), 1);

    recorder.show();
    recorder.sideButton()->click();
    EXPECT_EQ(center.current(), Shortcut::defaultShortcut());
    EXPECT_FALSE(defaults->contains(QStringLiteral("hotKeyCode")));
}

namespace {

// A key QTest cannot type (it knows only keys with a character).
void click(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(widget, &release);
}

} // namespace

// The Korean keyboard's own keys are recorded like any other; a key with no place is said so.
TEST_F(ShellFixture, RecorderTakesTheKoreanKeysAndSaysWhichKeysItCannotUse)
{
    ShortcutRecorder recorder;
    recorder.show();
    recorder.start();
    click(&recorder, Qt::Key_Hangul_Hanja, Qt::ControlModifier);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(center.current(), (Shortcut{KeyCode::hanja, control}));
    EXPECT_EQ(center.current().displayString(), QStringLiteral("Ctrl+한자"));

    recorder.start();
    click(&recorder, Qt::Key_Hangul, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(center.current(), (Shortcut{KeyCode::hangul, control | shift}));
    EXPECT_EQ(center.current().displayString(), QStringLiteral("Ctrl+Shift+한/영"));

    // A key without a place among the shortcut's keys: recording goes on, and says why.
    recorder.start();
    click(&recorder, Qt::Key_VolumeUp, Qt::ControlModifier);
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_TRUE(recorder.helpText().startsWith(QStringLiteral("Ctrl+Volume Up — "))) << recorder.helpText().toStdString();
    EXPECT_TRUE(recorder.helpText().endsWith(QStringLiteral("단축키로 쓸 수 없는 키입니다. 다른 키를 눌러 주세요.")));
    EXPECT_EQ(center.current(), (Shortcut{KeyCode::hangul, control | shift}));
    recorder.stop();
}

TEST_F(ShellFixture, SettingsWriteTheDefaultsAndFollowChangesElsewhere)
{
    SettingsWindow window;
    window.present();
    const QList<FormatOption*> formats = window.formatOptions();
    ASSERT_EQ(formats.size(), 3);
    EXPECT_TRUE(formats[0]->isSelected());
    EXPECT_TRUE(window.previewSentence().contains(QStringLiteral("수도(首都)</b> 서울은")));

    QTest::mouseClick(formats[2], Qt::LeftButton);
    EXPECT_EQ(defaults->value(WritingSettings::formatKey).toString(), QStringLiteral("hanjaOnly"));
    EXPECT_TRUE(formats[2]->isSelected());
    EXPECT_TRUE(window.previewSentence().contains(QStringLiteral(">首都</b> 서울은")));

    const QList<MeaningOption*> meanings = window.meaningOptions();
    ASSERT_EQ(meanings.size(), 3);
    EXPECT_TRUE(meanings[1]->isSelected()) << "gloss unless set";
    EXPECT_EQ(window.meaningPreviewLine(), QStringLiteral("머리 수 · 도읍 도"));
    QTest::mouseClick(meanings[0], Qt::LeftButton);
    EXPECT_EQ(defaults->value(WritingSettings::meaningStyleKey).toString(), QStringLiteral("none"));
    EXPECT_EQ(window.meaningPreviewLine(), QStringLiteral("한자만"));

    // Hovering previews; leaving one for another keeps the second's preview.
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(meanings[2], &enter);
    EXPECT_EQ(window.meaningPreviewLine(), QStringLiteral("나라의 중앙 도시"));
    QCoreApplication::sendEvent(meanings[1], &enter);
    QCoreApplication::sendEvent(meanings[2], &leave);
    EXPECT_EQ(window.meaningPreviewLine(), QStringLiteral("머리 수 · 도읍 도"));
    QCoreApplication::sendEvent(meanings[1], &leave);
    EXPECT_EQ(window.meaningPreviewLine(), QStringLiteral("한자만"));

    // A pick made meanwhile shows at once.
    EXPECT_FALSE(window.clearButton()->isEnabled());
    PickHistory::shared().record(QStringLiteral("수도"), QStringLiteral("首都"), QDateTime::currentDateTimeUtc());
    EXPECT_EQ(window.historyText(), QStringLiteral("고른 한자 1개를 기억해 앞에 둡니다. 이 컴퓨터에만 저장됩니다."));
    EXPECT_TRUE(window.clearButton()->isEnabled());
}

TEST_F(ShellFixture, SettingsFitAShortScreenAndAskBeforeKeepingAGnomeShortcut)
{
    {
        SettingsWindow x11;
        x11.present();
        EXPECT_FALSE(x11.desktopShortcut()->isVisibleTo(&x11)) << "the grab sees every X11 window";
    }
    fake->hotKeys->route = HotKeyService::DesktopRoute::gnomeCustomShortcut;
    SettingsWindow window;
    window.present();
    // The offscreen screen is 800×600, shorter than the settings: the window fits and scrolls.
    EXPECT_LE(window.frameGeometry().height(), window.screen()->availableGeometry().height());
    EXPECT_GT(window.content()->height(), window.height());

    QCheckBox* box = window.desktopShortcut()->checkBox();
    ASSERT_TRUE(box);
    EXPECT_FALSE(box->isChecked()) << "nothing is written to GNOME's settings unasked";
    box->click();
    EXPECT_TRUE(defaults->value(HotKeyService::gnomeShortcutConsentKey).toBool());
    EXPECT_TRUE(registered(Shortcut::defaultShortcut()));
    // The first-run window, open at the same time, shows the same answer.
    OnboardingWindow onboarding;
    ASSERT_TRUE(onboarding.desktopShortcut()->checkBox());
    EXPECT_TRUE(onboarding.desktopShortcut()->checkBox()->isChecked());
    onboarding.desktopShortcut()->checkBox()->click();
    EXPECT_FALSE(defaults->contains(HotKeyService::gnomeShortcutConsentKey));
    EXPECT_FALSE(box->isChecked());
}
