#include "ui/SettingsWindow.h"

#include "core/EnumKeys.h"
#include "core/PickHistory.h"
#include "core/WritingSettings.h"
#include "ui/FormatOption.h"
#include "ui/MeaningOption.h"
#include "ui/SettingTexts.h"
#include "ui/DesktopShortcutOption.h"
#include "ui/ShortcutRecorder.h"
#include "ui/UiStyle.h"
#include "ui/UserWordsSection.h"

#include <QAction>
#include <QCheckBox>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kWidth = 420;
constexpr int kPadding = 24;
constexpr int kSectionSpacing = 20;
// What the window manager's title bar and the panels' margins take beyond the available area.
constexpr int kFrameRoom = 48;

// The rounded box of the two previews: text background, radius 9, a faint 1-pixel border.
QFrame* previewBox(QWidget* parent)
{
    auto* box = new QFrame(parent);
    box->setObjectName(QStringLiteral("previewBox"));
    const QPalette pal = parent->palette();
    const QColor border = UiStyle::primary(pal, 0.08);
    box->setStyleSheet(QStringLiteral("QFrame#previewBox { background: %1; border: 1px solid rgba(%2, %3, %4, %5);"
                                      " border-radius: 9px; }")
                           .arg(UiStyle::textBackground(pal).name())
                           .arg(border.red())
                           .arg(border.green())
                           .arg(border.blue())
                           .arg(border.alphaF()));
    return box;
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("background: rgba(128, 128, 128, 0.25);"));
    return line;
}

} // namespace

SettingsWindow& SettingsWindow::shared()
{
    static SettingsWindow* instance = new SettingsWindow(); // kept for the life of the process
    return *instance;
}

SettingsWindow::SettingsWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("소렐 설정"));
    const QPalette pal = palette();
    const QColor secondary = UiStyle::secondary(pal);
    const QColor tertiary = UiStyle::tertiary(pal);
    const QColor primary = UiStyle::primary(pal);

    // The content keeps its natural height; the window fits the screen and scrolls what does not.
    m_content = new QWidget;
    auto* root = new QVBoxLayout(m_content);
    root->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    root->setSpacing(kSectionSpacing);

    // 1. The format.
    auto* format = new QVBoxLayout;
    format->setSpacing(10);
    auto* heading = new QVBoxLayout;
    heading->setSpacing(4);
    heading->addWidget(UiStyle::label(QStringLiteral("한자 병기 형식"), 17, QFont::Bold, primary, this, false));
    heading->addWidget(UiStyle::label(QStringLiteral("후보를 고르면 선택한 글자가 이 형식으로 바뀝니다."), 12.5, QFont::Normal,
                            secondary, this, false));
    format->addLayout(heading);
    QFrame* box = previewBox(this);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->setContentsMargins(12, 12, 12, 12);
    boxLayout->setSpacing(4);
    boxLayout->addWidget(UiStyle::label(QStringLiteral("미리보기"), 10.5, QFont::DemiBold, tertiary, box, false));
    m_preview = UiStyle::label(QString(), 15, QFont::Normal, primary, box, false);
    m_preview->setTextFormat(Qt::RichText);
    boxLayout->addWidget(m_preview);
    format->addWidget(box);
    for (const ReplacementFormat::Format f : EnumKeys::all<ReplacementFormat::Format>()) {
        auto* option = new FormatOption(f, this);
        connect(option, &FormatOption::clicked, this, [f] { WritingSettings::setFormat(f); });
        format->addWidget(option);
        m_formatOptions.append(option);
    }
    m_formatHint = UiStyle::label(QStringLiteral("트레이의 소렐 아이콘 › 치환 형식에서도 같은 값을 바꿀 수 있습니다."), 11.5,
                        QFont::Normal, tertiary, this, false);
    m_formatHint->setWordWrap(true);
    m_formatHint->setContentsMargins(0, 2, 0, 0);
    format->addWidget(m_formatHint);
    root->addLayout(format);
    root->addWidget(divider(this));

    // 2. The meaning line.
    auto* meaning = new QVBoxLayout;
    meaning->setSpacing(10);
    auto* meaningHeading = new QVBoxLayout;
    meaningHeading->setSpacing(3);
    meaningHeading->addWidget(UiStyle::label(QStringLiteral("후보에 보일 뜻"), 14, QFont::Bold, primary, this, false));
    meaningHeading->addWidget(UiStyle::label(QStringLiteral("항목에 마우스를 올리면 예시"), 11, QFont::Normal, tertiary, this, false));
    meaning->addLayout(meaningHeading);
    QFrame* rowBox = previewBox(this);
    auto* rowLayout = new QHBoxLayout(rowBox);
    rowLayout->setContentsMargins(12, 9, 12, 9);
    rowLayout->setSpacing(10);
    QLabel* badge = UiStyle::label(QStringLiteral("1"), 10, QFont::DemiBold, secondary, rowBox, false);
    badge->setFixedSize(16, 16);
    badge->setAlignment(Qt::AlignCenter);
    badge->setStyleSheet(QStringLiteral("background: rgba(128, 128, 128, 0.16); border-radius: 8px;"));
    rowLayout->addWidget(badge, 0, Qt::AlignVCenter);
    rowLayout->addWidget(UiStyle::label(QStringLiteral("首都"), 18, QFont::Medium, primary, rowBox, false), 0, Qt::AlignVCenter);
    m_meaningLine = UiStyle::label(QString(), 11, QFont::Normal, secondary, rowBox, false);
    rowLayout->addWidget(m_meaningLine, 1, Qt::AlignVCenter);
    meaning->addWidget(rowBox);
    auto* options = new QHBoxLayout;
    options->setSpacing(8);
    for (const MeaningLine::Style s : EnumKeys::all<MeaningLine::Style>()) {
        auto* option = new MeaningOption(s, this);
        connect(option, &MeaningOption::clicked, this, [this, s] {
            WritingSettings::setMeaningStyle(s);
            syncMeaning();
        });
        connect(option, &MeaningOption::hovered, this, [this, s](bool inside) { setHoveredMeaning(s, inside); });
        options->addWidget(option, 1);
        m_meaningOptions.append(option);
    }
    meaning->addLayout(options);
    root->addLayout(meaning);
    root->addWidget(divider(this));

    // 3. The shortcut.
    auto* shortcut = new QVBoxLayout;
    shortcut->setSpacing(10);
    auto* shortcutHeading = new QVBoxLayout;
    shortcutHeading->setSpacing(3);
    shortcutHeading->addWidget(UiStyle::label(QStringLiteral("단축키"), 14, QFont::Bold, primary, this, false));
    shortcutHeading->addWidget(UiStyle::label(QStringLiteral("단어를 선택하고 누르는 키"), 11, QFont::Normal, tertiary, this, false));
    shortcut->addLayout(shortcutHeading);
    m_recorder = new ShortcutRecorder(this);
    shortcut->addWidget(m_recorder);
    m_desktopShortcut = new DesktopShortcutOption(this);
    shortcut->addWidget(m_desktopShortcut);
    root->addLayout(shortcut);
    root->addWidget(divider(this));

    // 4. The pick history.
    auto* history = new QHBoxLayout;
    history->setSpacing(10);
    auto* historyText = new QVBoxLayout;
    historyText->setSpacing(3);
    historyText->addWidget(UiStyle::label(QStringLiteral("고른 기록"), 14, QFont::Bold, primary, this, false));
    m_history = UiStyle::label(QString(), 11.5, QFont::Normal, secondary, this, false);
    m_history->setWordWrap(true);
    historyText->addWidget(m_history);
    // Said as the shortcut recorder says a refusal: what was asked, then why it did not happen.
    m_historyProblem = UiStyle::label(QStringLiteral("기록 지우기 — 설정 파일에 저장하지 못했습니다."), 11.5, QFont::Normal,
                            UiStyle::accent(), this, false);
    m_historyProblem->setWordWrap(true);
    m_historyProblem->hide();
    historyText->addWidget(m_historyProblem);
    history->addLayout(historyText, 1);
    m_clear = new QPushButton(QStringLiteral("기록 지우기"), this);
    connect(m_clear, &QPushButton::clicked, this, [this] { m_historyProblem->setVisible(!PickHistory::shared().clear()); });
    history->addWidget(m_clear, 0, Qt::AlignTop);
    root->addLayout(history);
    root->addWidget(divider(this));

    // 5. The user's own words.
    m_userWords = new UserWordsSection(this);
    root->addWidget(m_userWords);

    // 6. Without a tray: the menu's items.
    m_menuSection = new QWidget(this);
    auto* menu = new QVBoxLayout(m_menuSection);
    menu->setContentsMargins(0, 0, 0, 0);
    menu->setSpacing(10);
    menu->addWidget(divider(m_menuSection));
    auto* menuHeading = new QVBoxLayout;
    menuHeading->setSpacing(3);
    menuHeading->addWidget(UiStyle::label(QStringLiteral("소렐"), 14, QFont::Bold, primary, m_menuSection, false));
    QLabel* menuHint = UiStyle::label(QStringLiteral("트레이가 없는 데스크톱이라 메뉴를 여기 둡니다. 이 창은 sorelwick --settings로, 또는 "
                                           "응용 프로그램 메뉴에서 소렐을 다시 실행하면 열립니다."),
                            11, QFont::Normal, tertiary, m_menuSection, false);
    menuHint->setWordWrap(true);
    menuHeading->addWidget(menuHint);
    menu->addLayout(menuHeading);
    m_menuItems = new QVBoxLayout;
    m_menuItems->setSpacing(8);
    menu->addLayout(m_menuItems);
    m_menuSection->hide();
    root->addWidget(m_menuSection);
    // Resizable: the content takes the viewport's width and the height its lines need at it.
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(true);
    m_scroll->setWidget(m_content);
    auto* frame = new QVBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->addWidget(m_scroll);

    QPointer<SettingsWindow> self = this;
    m_formatObserver = Notifier::shared().observe(Notifications::formatDidChange, [self] {
        if (self) self->syncFormat();
    });
    m_historyObserver = Notifier::shared().observe(Notifications::pickHistoryDidChange, [self] {
        if (self) self->syncHistory();
    });
    syncFormat();
    syncMeaning();
    syncHistory();
}

SettingsWindow::~SettingsWindow()
{
    Notifier::shared().remove(m_formatObserver);
    Notifier::shared().remove(m_historyObserver);
}

void SettingsWindow::present()
{
    m_historyProblem->hide();
    m_userWords->sync();
    syncFormat();
    syncMeaning();
    syncHistory();
    m_desktopShortcut->sync();
    fitScreen();
    show();
    raise();
    activateWindow();
}

void SettingsWindow::fitScreen()
{
    m_content->layout()->activate();
    const int natural = m_content->heightForWidth(kWidth);
    const int height = natural > 0 ? natural : m_content->sizeHint().height();
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const int room = screen ? screen->availableGeometry().height() - kFrameRoom : height;
    const bool scrolls = height > room;
    const int bar = scrolls ? m_scroll->verticalScrollBar()->sizeHint().width() : 0;
    setFixedSize(kWidth + bar, std::min(height, room));
}

void SettingsWindow::syncFormat()
{
    const ReplacementFormat::Format current = WritingSettings::format();
    for (FormatOption* option : m_formatOptions) option->setSelected(option->format() == current);
    m_preview->setText(QStringLiteral("대한민국의 <b style=\"color:%1\">%2</b> 서울은 인구가 많다.")
                           .arg(UiStyle::accent().name(), SettingTexts::formatExample(current).toHtmlEscaped()));
}

void SettingsWindow::syncMeaning()
{
    const MeaningLine::Style current = WritingSettings::meaningStyle();
    for (MeaningOption* option : m_meaningOptions) option->setSelected(option->style() == current);
    const MeaningLine::Style previewed = m_hoveredMeaning.value_or(current);
    m_meaningLine->setText(SettingTexts::meaningPreview(previewed));
    QPalette pal = m_meaningLine->palette();
    pal.setColor(QPalette::WindowText, previewed == MeaningLine::Style::none ? UiStyle::tertiary(palette())
                                                                             : UiStyle::secondary(palette()));
    m_meaningLine->setPalette(pal);
}

void SettingsWindow::setHoveredMeaning(MeaningLine::Style style, bool inside)
{
    if (inside) m_hoveredMeaning = style;
    else if (m_hoveredMeaning == style) m_hoveredMeaning.reset();
    syncMeaning();
}

void SettingsWindow::syncHistory()
{
    const qsizetype learned = PickHistory::shared().count();
    m_history->setText(learned > 0
                           ? QStringLiteral("고른 한자 %1개를 기억해 앞에 둡니다. 이 컴퓨터에만 저장됩니다.").arg(learned)
                           : QStringLiteral("고른 한자를 기억해 다음부터 앞에 둡니다. 이 컴퓨터에만 저장됩니다."));
    m_clear->setEnabled(learned > 0);
}

QString SettingsWindow::previewSentence() const { return m_preview->text(); }
QString SettingsWindow::meaningPreviewLine() const { return m_meaningLine->text(); }
QString SettingsWindow::historyText() const { return m_history->text(); }
QString SettingsWindow::historyProblem() const
{
    return m_historyProblem->isVisibleTo(this) ? m_historyProblem->text() : QString();
}

void SettingsWindow::setMenuItems(const QList<QAction*>& items)
{
    while (QLayoutItem* old = m_menuItems->takeAt(0)) {
        if (QLayout* row = old->layout())
            while (QLayoutItem* inner = row->takeAt(0)) {
                delete inner->widget();
                delete inner;
            }
        delete old->widget();
        delete old;
    }
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    for (QAction* item : items) {
        if (!item) continue;
        const QString title = item->text().section(QLatin1Char('\t'), 0, 0); // without the key hint
        if (item->isCheckable()) {
            auto* box = new QCheckBox(title, m_menuSection);
            box->setChecked(item->isChecked());
            // The item decides (a failed change leaves it as it was); the box shows what it says.
            connect(box, &QCheckBox::clicked, item, [item, box] {
                item->trigger();
                box->setChecked(item->isChecked());
            });
            connect(item, &QAction::changed, box, [item, box] { box->setChecked(item->isChecked()); });
            m_menuItems->addWidget(box);
            continue;
        }
        auto* button = new QPushButton(title, m_menuSection);
        connect(button, &QPushButton::clicked, item, &QAction::trigger);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    m_menuItems->addLayout(buttons);
}

void SettingsWindow::setTrayPresent(bool present)
{
    m_formatHint->setVisible(present);
    m_menuSection->setVisible(!present);
}
