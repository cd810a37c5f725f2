#include "base/Log.h"
#include "base/Notifier.h"
#include "core/HotKey.h"
#include "core/Shortcut.h"
#include "core/ShortcutCenter.h"
#include "platform/wayland/DesktopShortcutText.h"
#include "support/FakePlatform.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace ModifierFlag;

namespace {

constexpr quint32 kJ = 38;
const QString kSuperAlone = u"Super만 쓰는 조합은 데스크톱 단축키와 겹칩니다. Ctrl이나 Alt를 함께 눌러 주세요."_s;
const QString kNeedsCtrlOrAlt = u"Ctrl이나 Alt를 함께 눌러 주세요."_s;
const QString kInputSource = u"입력 소스 전환 단축키와 겹칩니다."_s;

class Shortcuts : public ::testing::Test {
protected:
    void SetUp() override
    {
        defaults = TestSupport::freshDefaults();
        fake = FakePlatform::install();
        observer = Notifier::shared().observe(ShortcutCenter::didChange, [this] { ++notifications; });
    }
    void TearDown() override { Notifier::shared().remove(observer); }

    bool press(const Shortcut& s) { return fake->hotKeys->press(s.keyCode, s.carbonModifiers()); }

    std::shared_ptr<MemoryDefaultsStore> defaults;
    std::shared_ptr<FakePlatform> fake;
    Notifier::Handle observer = 0;
    int notifications = 0;
    Log::Collector log;
};

} // namespace

TEST(Shortcut, displayFormAndKeyNames)
{
    EXPECT_EQ(Shortcut::defaultShortcut().displayString(), u"Ctrl+Alt+H"_s);
    // The order is fixed, whatever order the keys were pressed in.
    EXPECT_EQ(Shortcut::symbols(command | shift | option | control), u"Ctrl+Alt+Shift+Super+"_s);
    EXPECT_EQ((Shortcut{KeyCode::space, control | shift}).displayString(), u"Ctrl+Shift+Space"_s);
    EXPECT_EQ((Shortcut{122, option}).displayString(), u"Alt+F1"_s);

    EXPECT_EQ(Shortcut::keyName(111), u"F12"_s);
    EXPECT_EQ(Shortcut::keyName(53), u"⎋"_s);
    EXPECT_EQ(Shortcut::keyName(10), u"#10"_s); // the ISO key has no US label
    EXPECT_EQ(Shortcut::keyName(83), u"#83"_s);
    EXPECT_EQ(Shortcut::keyName(4000000000u), u"#4000000000"_s);
}

namespace {
// A Russian layout, with nothing on the digit row's 7.
class RussianLetters : public KeyboardLayout {
public:
    std::optional<QString> keyLabel(quint32 keyCode) override
    {
        if (keyCode == kJ) return u"о"_s;
        if (keyCode == KeyCode::h) return u"р"_s;
        if (keyCode == 50) return u"ё"_s;
        return std::nullopt;
    }
};
} // namespace

TEST_F(Shortcuts, lettersAndDigitsAreNamedByTheLayoutInUse)
{
    auto layout = std::make_shared<RussianLetters>();
    fake->platform->keyboardLayout = layout;
    EXPECT_EQ(Shortcut::keyName(kJ), u"О"_s);
    EXPECT_EQ(Shortcut::defaultShortcut().displayString(), u"Ctrl+Alt+Р"_s);
    EXPECT_EQ(Shortcut::keyName(26), u"#26"_s); // the layout has nothing on 7
    // Punctuation keeps its fixed name, whatever the layout puts there.
    EXPECT_EQ(Shortcut::keyName(50), u"`"_s);
}

TEST_F(Shortcuts, refusalsChangeNothing)
{
    ShortcutCenter center;
    center.activate([] {});
    const auto refused = [&](quint32 key, quint64 mods) { return center.change(Shortcut{key, mods}); };

    EXPECT_EQ(refused(KeyCode::h, command), kSuperAlone);
    EXPECT_EQ(refused(KeyCode::h, command | shift), kSuperAlone);
    EXPECT_EQ(refused(KeyCode::h, shift), kNeedsCtrlOrAlt);
    EXPECT_EQ(refused(KeyCode::h, capsLock), kNeedsCtrlOrAlt);
    EXPECT_EQ(refused(KeyCode::space, control), kInputSource);
    EXPECT_EQ(refused(KeyCode::space, control | option), kInputSource);
    EXPECT_EQ(refused(KeyCode::space, command), kInputSource);

    EXPECT_EQ(center.current(), Shortcut::defaultShortcut());
    EXPECT_TRUE(press(Shortcut::defaultShortcut()));
    EXPECT_FALSE(defaults->contains(u"hotKeyCode"_s));
    EXPECT_EQ(notifications, 0);
    EXPECT_EQ(fake->hotKeys->registeredCount(), 1);
}

TEST_F(Shortcuts, acceptedChangesRegisterStoreAndNotify)
{
    ShortcutCenter center;
    int presses = 0;
    center.activate([&] { ++presses; });

    for (const Shortcut& s : {Shortcut{KeyCode::h, control}, Shortcut{KeyCode::h, option},
                              Shortcut{KeyCode::h, control | command}, Shortcut{KeyCode::h, option | shift},
                              Shortcut{KeyCode::space, control | shift}, Shortcut{KeyCode::space, option}}) {
        EXPECT_EQ(center.change(s), std::nullopt) << s.displayString().toStdString();
        EXPECT_EQ(center.current(), s);
        EXPECT_EQ(fake->hotKeys->registeredCount(), 1);
        EXPECT_TRUE(press(s));
    }
    EXPECT_EQ(presses, 6);
    EXPECT_EQ(notifications, 6);
    EXPECT_FALSE(press(Shortcut{KeyCode::h, option | shift})); // the previous one is gone

    // Bits beyond the four modifiers are never kept.
    EXPECT_EQ(center.change(Shortcut{kJ, control | capsLock}), std::nullopt);
    EXPECT_EQ(center.current(), (Shortcut{kJ, control}));
    EXPECT_EQ(defaults->integer(u"hotKeyModifiers"_s), qint64(control));

    // Back to the default: both keys go.
    EXPECT_EQ(center.change(Shortcut::defaultShortcut()), std::nullopt);
    EXPECT_FALSE(defaults->contains(u"hotKeyCode"_s));
    EXPECT_FALSE(defaults->contains(u"hotKeyModifiers"_s));
}

TEST_F(Shortcuts, aShortcutThatCannotBeSavedIsRefusedAndTheOldOneKept)
{
    ShortcutCenter center;
    int presses = 0;
    center.activate([&] { ++presses; });
    const Shortcut wanted{kJ, control | option};
    const auto keepsTheOld = [&] {
        return center.current() == Shortcut::defaultShortcut() && press(Shortcut::defaultShortcut())
            && !press(wanted) && !defaults->contains(u"hotKeyCode"_s) && !defaults->contains(u"hotKeyModifiers"_s)
            && notifications == 0;
    };
    // The second key fails after the first was written: the first is taken back.
    defaults->refuses = [](const QString& key) { return key == u"hotKeyModifiers"_s; };
    EXPECT_EQ(center.change(wanted), u"설정 파일에 저장하지 못했습니다."_s);
    EXPECT_TRUE(keepsTheOld());
    EXPECT_EQ(presses, 1);

    defaults->refuses = nullptr;
    EXPECT_EQ(center.change(wanted), std::nullopt);
    EXPECT_TRUE(press(wanted));
}

// On X11 another program's hold may be that of an instance that has just ended; the start tries
// again for a while, quietly, and only then shows the shortcut as held elsewhere.
TEST_F(Shortcuts, aShortcutHeldAtStartIsTriedAgainThenShownAsHeldElsewhere)
{
    const Shortcut shortcut = Shortcut::defaultShortcut();
    const FakeHotKeyService::Combination held{shortcut.keyCode, shortcut.carbonModifiers()};
    const qint64 allRetries = ShortcutCenter::retryStepMs * ShortcutCenter::retryCount;
    int presses = 0;
    {
        SCOPED_TRACE("released while the start tries again");
        fake->hotKeys->takenByOthers.insert(held);
        ShortcutCenter center;
        center.activate([&] { ++presses; });
        fake->clock->advance(allRetries - ShortcutCenter::retryStepMs);
        EXPECT_FALSE(center.isRegistered());
        EXPECT_FALSE(center.isHeldElsewhere());
        fake->hotKeys->takenByOthers.clear();
        fake->clock->advance(ShortcutCenter::retryStepMs);
        EXPECT_TRUE(center.isRegistered());
        EXPECT_TRUE(press(shortcut));
        EXPECT_EQ(presses, 1);
        EXPECT_EQ(log.count(u"단축키 Ctrl+Alt+H 등록 실패"_s), 1) << "the retries are quiet";
        EXPECT_EQ(notifications, 1);
        EXPECT_EQ(fake->clock->pendingCount(), 0);
    }
    {
        SCOPED_TRACE("held throughout");
        notifications = 0;
        log.clear();
        fake->hotKeys->takenByOthers.insert(held);
        ShortcutCenter center;
        center.activate([&] { ++presses; });
        fake->clock->advance(allRetries);
        EXPECT_FALSE(center.isRegistered());
        EXPECT_TRUE(center.isHeldElsewhere());
        EXPECT_EQ(notifications, 1);
        EXPECT_EQ(fake->clock->pendingCount(), 0) << "the retries end";
        // Choosing another combination ends it.
        EXPECT_EQ(center.change(Shortcut{kJ, control | option}), std::nullopt);
        EXPECT_FALSE(center.isHeldElsewhere());
        EXPECT_TRUE(press(Shortcut{kJ, control | option}));
    }
    {
        SCOPED_TRACE("recording a new shortcut, or the center going, ends the retries");
        defaults->remove(u"hotKeyCode"_s); // the default again, still held
        defaults->remove(u"hotKeyModifiers"_s);
        ShortcutCenter center;
        center.activate([] {});
        ASSERT_EQ(fake->clock->pendingCount(), 1);
        center.suspend();
        EXPECT_EQ(fake->clock->pendingCount(), 0);
        center.resume();
        EXPECT_TRUE(center.isHeldElsewhere()) << "still taken when recording ended";
        {
            ShortcutCenter gone;
            gone.activate([] {});
        }
        EXPECT_EQ(fake->clock->pendingCount(), 0);
    }
}

// A stored pair that cannot be used gives way to the default, and the log names why. Which stored
// shapes read as what is the shortcut fuzz target's, on its seeds.
TEST_F(Shortcuts, aStoredShortcutThatCannotBeUsedGivesWayToTheDefaultAndIsNamed)
{
    // A pair the recorder would refuse would take a plain key from every application.
    defaults->setValue(u"hotKeyCode"_s, qint64(kJ));
    defaults->setValue(u"hotKeyModifiers"_s, qint64(shift));
    EXPECT_EQ(ShortcutCenter().current(), Shortcut::defaultShortcut());
    EXPECT_TRUE(TestSupport::logNames(log, {u"Shift+J"_s}));
}

// How a shortcut is written for the desktop: GNOME takes keysym names and ignores a binding it
// cannot parse, and a user's binding may be spelt with other aliases than ours.
TEST(DesktopShortcutText, keysymNamesAndAliases)
{
    using namespace DesktopShortcutText;
    const quint32 ctrlAlt = 0x1000 | 0x800;
    EXPECT_EQ(gnomeAccelerator(KeyCode::space, 0x1000 | 0x200), u"<Control><Shift>space"_s);
    EXPECT_EQ(gnomeAccelerator(102, 0x1000), u"<Control>Hangul_Hanja"_s); // Ctrl+한자
    EXPECT_EQ(portalTrigger(104, 0x100 | 0x800), u"ALT+LOGO+Hangul"_s);
    EXPECT_EQ(gnomeAccelerator(10, ctrlAlt), std::nullopt) << "no US key at that position";
    EXPECT_TRUE(sameAccelerator(u"<Ctrl><Mod1>h"_s, u"<Control><Alt>h"_s));
    EXPECT_FALSE(sameAccelerator(u"<Control>h"_s, u"<Control><Alt>h"_s));
    EXPECT_FALSE(sameAccelerator(u"<Control><Alt>"_s, u"<Control><Alt>"_s)) << "no key: nothing is held";
}
