// Renders every window and panel state of the program to PNG, at scale 1 and 2, on the offscreen
// platform: sorelwick_pictures OUTPUT_DIR. The pictures are for looking at what was built, and
// the README's come from here.
#include "base/Defaults.h"
#include "base/Notifier.h"
#include "core/CandidatePanel.h"
#include "core/PickHistory.h"
#include "core/SyllableCompose.h"
#include "core/UserWords.h"
#include "support/FakePlatform.h"
#include "support/FakeHotKeyService.h"
#include "support/MemoryDefaultsStore.h"
#include "ui/CandidatePanelView.h"
#include "ui/CandidateRowWidget.h"
#include "ui/DesktopShortcutOption.h"
#include "ui/AboutWindow.h"
#include "ui/OnboardingWindow.h"
#include "ui/QtPanelWindow.h"
#include "ui/SettingsWindow.h"
#include "ui/ShortcutRecorder.h"
#include "ui/TrayIconPainter.h"
#include "ui/TrayMenu.h"
#include "ui/UserWordsSection.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QStyleFactory>
#include <QTemporaryFile>
#include <QTextStream>

#include <cstdio>
#include <functional>

namespace {

struct Spelling {
    const char* hanja;
    const char* gloss;
};

// The twelve spellings of 수도 the pictures show, with their character glosses.
const Spelling kSudo[] = {
    {"首都", "머리 수 · 도읍 도"}, {"水道", "물 수 · 길 도"},     {"修道", "닦을 수 · 길 도"},
    {"囚徒", "가둘 수 · 무리 도"}, {"隧道", "길 수 · 길 도"},     {"手刀", "손 수 · 칼 도"},
    {"水都", "물 수 · 도읍 도"},   {"受渡", "받을 수 · 건널 도"}, {"數度", "셀 수 · 법도 도"},
    {"授徒", "줄 수 · 무리 도"},   {"首途", "머리 수 · 길 도"},   {"水稻", "물 수 · 벼 도"},
};

const QString kHeader = QStringLiteral("\"수도\"를 · 빈도순 · 한글(漢字)");

QList<Candidate> sudo(int n)
{
    QList<Candidate> rows;
    for (int i = 0; i < n; ++i) {
        Candidate c;
        c.primary = QString::fromUtf8(kSudo[i].hanja);
        c.secondary = QString::fromUtf8(kSudo[i].gloss);
        c.replacement = QStringLiteral("수도(%1)를").arg(c.primary);
        c.word = QStringLiteral("수도");
        rows.append(c);
    }
    return rows;
}

Candidate row(CandidateKind kind, const QString& primary, const QString& secondary)
{
    Candidate c;
    c.kind = kind;
    c.primary = primary;
    c.secondary = secondary;
    c.replacement = kind == CandidateKind::action ? QString() : primary;
    return c;
}

class Renderer {
public:
    explicit Renderer(QDir dir) : m_dir(std::move(dir)) {}

    // Writes name@1x.png and name@2x.png; translucent widgets keep their transparent corners.
    bool save(const QString& name, QWidget* widget)
    {
        widget->ensurePolished();
        if (QLayout* layout = widget->layout()) layout->activate();
        widget->resize(widget->sizeHint().expandedTo(widget->minimumSize()));
        bool ok = true;
        for (int scale : {1, 2}) {
            QImage image(widget->size() * scale, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(scale);
            image.fill(Qt::transparent);
            const bool translucent = widget->testAttribute(Qt::WA_TranslucentBackground);
            widget->render(&image, QPoint(), QRegion(),
                           translucent ? QWidget::DrawChildren : QWidget::DrawWindowBackground | QWidget::DrawChildren);
            const QString path = m_dir.filePath(QStringLiteral("%1@%2x.png").arg(name).arg(scale));
            if (!image.save(path)) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                ok = false;
            } else {
                std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
            }
        }
        m_ok = m_ok && ok;
        return ok;
    }
    // For what is drawn directly rather than by a widget.
    bool saveImage(const QString& name, const std::function<QImage(double scale)>& draw)
    {
        bool ok = true;
        for (int scale : {1, 2}) {
            const QString path = m_dir.filePath(QStringLiteral("%1@%2x.png").arg(name).arg(scale));
            const QImage image = draw(scale);
            ok = image.save(path) && ok;
            std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
        }
        m_ok = m_ok && ok;
        return ok;
    }
    bool ok() const { return m_ok; }

private:
    QDir m_dir;
    bool m_ok = true;
};

// The candidate panel in each of its states, driven through the real controller and window.
void panelStates(Renderer& out, FakePlatform& fake)
{
    auto window = std::make_shared<QtPanelWindow>();
    fake.platform->panelWindow = window;
    CandidatePanel panel;
    const auto show = [&](const QList<Candidate>& rows, const QString& header) {
        panel.show(rows, header, PanelAnchor::mouse(), ++panel.session, [](const Candidate&, bool) {});
    };

    show(sudo(3), kHeader);
    out.save(QStringLiteral("panel-list3"), window->view());

    show(sudo(12), kHeader);
    out.save(QStringLiteral("panel-list12"), window->view());
    panel.model().expand();
    out.save(QStringLiteral("panel-list12-expanded"), window->view());

    panel.showLoading(QStringLiteral("\"수도\"를 · AI · 한글(漢字)"), PanelAnchor::mouse(), ++panel.session);
    out.save(QStringLiteral("panel-loading"), window->view());

    panel.showNotice(QStringLiteral("선택된 텍스트가 없습니다"), PanelAnchor::mouse(), ++panel.session);
    out.save(QStringLiteral("panel-notice"), window->view());

    show({row(CandidateKind::layout, QStringLiteral("안녕"), QStringLiteral("영문 자판으로 친 한글"))},
         QStringLiteral("자판 되돌리기 · \"dkssud\""));
    out.save(QStringLiteral("panel-layout-fix"), window->view());

    show({row(CandidateKind::layout, QStringLiteral("안녕 하세요"), QStringLiteral("영문 자판으로 친 한글")),
          row(CandidateKind::action, QStringLiteral("오타 정리…"), QStringLiteral("문맥을 보고 맞춤법·띄어쓰기 교정"))},
         QStringLiteral("자판 되돌리기 · \"dkssud gktpdy\""));
    out.save(QStringLiteral("panel-model-offer"), window->view());

    show({row(CandidateKind::proofread, QStringLiteral("안녕하세요, 반갑습니다"),
              QStringLiteral("원문: 안녕하새요 반갑습니다"))},
         QStringLiteral("오타 정리 · AI"));
    out.save(QStringLiteral("panel-proofread"), window->view());
    // A sentence wider than the panel wraps.
    show({row(CandidateKind::proofread,
              QStringLiteral("오늘은 날씨가 정말 좋아서 친구들과 함께 한강 공원에 가서 자전거를 탔습니다."),
              QStringLiteral("원문: 오늘은 날씨가 정말 조아서 친구들과 함께…"))},
         QStringLiteral("오타 정리 · AI"));
    out.save(QStringLiteral("panel-proofread-long"), window->view());

    // Hanja read: the plain reading, the two annotated forms, another reading of an ambiguous word.
    show({row(CandidateKind::reading, QStringLiteral("대한민국의 수도는"), QStringLiteral("클 대 · 나라 이름 한 · 백성 민 · 나라 국 · 머리 수 · 도읍 도")),
          row(CandidateKind::reading, QStringLiteral("대한민국(大韓民國)의 수도(首都)는"), QStringLiteral("클 대 · 나라 이름 한 · 백성 민 · 나라 국 · 머리 수 · 도읍 도")),
          row(CandidateKind::reading, QStringLiteral("大韓民國(대한민국)의 首都(수도)는"), QStringLiteral("클 대 · 나라 이름 한 · 백성 민 · 나라 국 · 머리 수 · 도읍 도"))},
         QStringLiteral("\"大韓民國\"의 \"首都\"는 · 읽기"));
    out.save(QStringLiteral("panel-reading"), window->view());

    // A sentence stepped through: its second word, with the row that keeps it as Hangul.
    panel.showStep({row(CandidateKind::hanja, QStringLiteral("首都"), QStringLiteral("머리 수 · 도읍 도")),
                    row(CandidateKind::hanja, QStringLiteral("水道"), QStringLiteral("물 수 · 길 도")),
                    row(CandidateKind::action, QStringLiteral("건너뛰기"), QStringLiteral("한글 그대로"))},
                   QStringLiteral("대한민국의 [수도]는 서울이다 · 2/2"), PanelAnchor::mouse(), ++panel.session,
                   [](const Candidate&, bool) {}, {});
    out.save(QStringLiteral("panel-sentence"), window->view());

    // With the pointer over the second row.
    show(sudo(3), kHeader);
    window->view()->rows().at(1)->setHovered(true);
    out.save(QStringLiteral("panel-list3-hover"), window->view());
    panel.dismiss();
}

// The settings window as it opens, and with the recorder listening.
void settingsStates(Renderer& out)
{
    SettingsWindow window;
    window.present();
    out.save(QStringLiteral("settings"), &window);
    window.recorder()->start();
    out.save(QStringLiteral("settings-recording"), &window);
    // A key that cannot be a shortcut, said under the recorder.
    QKeyEvent volume(QEvent::KeyPress, Qt::Key_VolumeUp, Qt::ControlModifier);
    QCoreApplication::sendEvent(window.recorder(), &volume);
    out.save(QStringLiteral("settings-key-refused"), &window);
    window.recorder()->stop();
    // A clear the settings file did not take.
    auto refusing = std::make_shared<MemoryDefaultsStore>();
    Defaults::setShared(refusing);
    PickHistory::shared().record(QStringLiteral("수도"), QStringLiteral("首都"), QDateTime::currentDateTime());
    refusing->refuses = [](const QString&) { return true; };
    window.clearButton()->click();
    out.save(QStringLiteral("settings-clear-failed"), &window);
    Defaults::setShared(std::make_shared<MemoryDefaultsStore>());
}

// Without a tray host the settings window holds the menu's items.
void settingsWithoutTray(Renderer& out)
{
    TrayMenu tray(RankEngine::frequency);
    QAction autostart(QStringLiteral("로그인할 때 시작"));
    autostart.setCheckable(true);
    SettingsWindow window;
    window.setMenuItems({&autostart, tray.onboardingItem(), tray.aboutItem(), tray.quitItem()});
    window.setTrayPresent(false);
    window.present();
    out.save(QStringLiteral("settings-without-tray"), &window);
}

// The tray menu, opened, and the tray icon itself.
void trayStates(Renderer& out)
{
    TrayMenu tray(RankEngine::frequency);
    QMenu* menu = tray.menu();
    menu->popup(QPoint(0, 0));
    out.save(QStringLiteral("tray-menu"), menu);
    menu->close();
    out.saveImage(QStringLiteral("tray-icon"), [](double scale) { return TrayIconPainter::image(scale); });
    // As a dark panel's tray asks for it.
    out.saveImage(QStringLiteral("tray-icon-light"),
                  [](double scale) { return TrayIconPainter::image(scale, QColor(0xf0, 0xf0, 0xf0)); });
}

// The first-run window at each step: before the permission, before the practice, and done.
void onboardingStates(Renderer& out, FakePlatform& fake)
{
    fake.accessibility->trusted = false;
    OnboardingWindow window;
    window.present();
    out.save(QStringLiteral("onboarding-step1"), &window);
    fake.accessibility->trusted = true;
    window.present(); // asks again at once rather than waiting for the poll
    out.save(QStringLiteral("onboarding-step2"), &window);
    Notifier::shared().post(Notifications::didReplace);
    out.save(QStringLiteral("onboarding-done"), &window);
    window.close();
}

// GNOME Wayland without the portal: the check box that lets us keep a GNOME custom shortcut,
// and the settings as a 1280×768 screen shows them (scrolled).
void gnomeWaylandStates(Renderer& out, FakePlatform& fake)
{
    fake.hotKeys->route = HotKeyService::DesktopRoute::gnomeCustomShortcut;
    SettingsWindow settings;
    settings.present();
    out.save(QStringLiteral("settings-gnome-wayland"), &settings);
    settings.findChild<QScrollArea*>()->ensureWidgetVisible(settings.desktopShortcut());
    out.save(QStringLiteral("settings-gnome-wayland-scrolled"), &settings);
    OnboardingWindow onboarding;
    onboarding.present();
    out.save(QStringLiteral("onboarding-gnome-wayland"), &onboarding);
    onboarding.close();
    fake.hotKeys->route = HotKeyService::DesktopRoute::none;
}

// Spelling 범용 one character at a time (the dictionary has no 汎用), and the words so kept.
void userWordStates(Renderer& out, FakePlatform& fake)
{
    auto window = std::make_shared<QtPanelWindow>();
    fake.platform->panelWindow = window;
    CandidatePanel panel;
    HanjaDictionary& dictionary = HanjaDictionary::shared();
    SyllableCompose compose(QStringLiteral("범용"), dictionary);
    for (int step = 0; step < 2; ++step) {
        QList<Candidate> rows;
        for (const SyllableCompose::Choice& c : compose.page()) {
            Candidate row;
            row.primary = c.hanja;
            row.secondary = c.gloss;
            row.kind = CandidateKind::hanja;
            rows.append(row);
        }
        if (compose.hasMore()) {
            Candidate more;
            more.primary = QStringLiteral("더 보기");
            more.kind = CandidateKind::action;
            rows.append(more);
        }
        panel.show(rows, compose.header(), PanelAnchor::mouse(), ++panel.session, [](const Candidate&, bool) {}, true);
        out.save(step == 0 ? QStringLiteral("panel-compose") : QStringLiteral("panel-compose-second"), window->view());
        for (qsizetype i = 0; i < rows.size(); ++i)
            if (rows[i].primary == QStringLiteral("汎")) compose.choose(i);
    }
    panel.dismiss();

    const QDateTime at = QDateTime::currentDateTimeUtc();
    UserWords& words = UserWords::shared();
    words.add(QStringLiteral("범용"), QStringLiteral("汎用"), QString(), at.addDays(-12));
    words.add(QStringLiteral("김철수"), QStringLiteral("金哲洙"), QString(), at.addDays(-3));
    words.add(QStringLiteral("홍길동"), QStringLiteral("洪吉童"), QString(), at);
    SettingsWindow settings;
    settings.present();
    settings.findChild<QScrollArea*>()->ensureWidgetVisible(settings.userWords());
    out.save(QStringLiteral("settings-user-words"), &settings);
    settings.close();
    words.clear();
}

void aboutWindow(Renderer& out)
{
    AboutWindow window;
    window.present();
    out.save(QStringLiteral("about"), &window);
}

} // namespace

int main(int argc, char** argv)
{
    // A 1280×768 screen, as on many laptops: windows taller than that must scroll.
    QTemporaryFile screens;
    if (screens.open()) {
        screens.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1280, "height": 768,
                          "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        screens.flush();
    }
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(screens.fileName()));
    Defaults::setShared(std::make_shared<MemoryDefaultsStore>());
    // The user's own words shown are the picture's, not the user's.
    QTemporaryDir userData;
    qputenv("XDG_DATA_HOME", QFile::encodeName(userData.path()));
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(SORELWICK_VERSION));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (argc != 2) {
        std::fprintf(stderr, "usage: sorelwick_pictures OUTPUT_DIR\n");
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    auto fake = FakePlatform::install();
    Renderer out(dir);
    panelStates(out, *fake);
    settingsStates(out);
    settingsWithoutTray(out);
    trayStates(out);
    onboardingStates(out, *fake);
    gnomeWaylandStates(out, *fake);
    userWordStates(out, *fake);
    aboutWindow(out);
    return out.ok() ? 0 : 1;
}
