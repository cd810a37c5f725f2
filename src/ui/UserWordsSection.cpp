#include "ui/UserWordsSection.h"

#include "core/UserWords.h"
#include "ui/UiStyle.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

UserWordsSection::UserWordsSection(QWidget* parent)
    : QWidget(parent)
{
    const QPalette pal = palette();
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(10);
    auto* heading = new QVBoxLayout;
    heading->setSpacing(3);
    heading->addWidget(UiStyle::label(QStringLiteral("내 낱말"), 14, QFont::Bold, UiStyle::primary(pal), this, false));
    QLabel* hint = UiStyle::label(QStringLiteral("사전에 없던 표기를 글자별로 골라 만든 낱말입니다. 다음부터 맨 앞에 나옵니다. "
                                                 "파일은 한글:한자:뜻 줄로 가져오고 내보냅니다."),
                                  11, QFont::Normal, UiStyle::tertiary(pal), this, false);
    hint->setWordWrap(true);
    heading->addWidget(hint);
    root->addLayout(heading);

    m_list = new QTreeWidget(this);
    m_list->setColumnCount(3);
    m_list->setHeaderLabels({QStringLiteral("한글"), QStringLiteral("한자"), QStringLiteral("넣은 날")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setStretchLastSection(true);
    m_list->setColumnWidth(0, 110);
    m_list->setColumnWidth(1, 110);
    m_list->setFixedHeight(132);
    root->addWidget(m_list);
    m_empty = UiStyle::label(QStringLiteral("아직 없습니다. 후보 창에서 Tab을 누르면 글자별로 골라 만들 수 있습니다."), 11.5,
                             QFont::Normal, UiStyle::secondary(pal), this, false);
    m_empty->setWordWrap(true);
    root->addWidget(m_empty);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_remove = new QPushButton(QStringLiteral("지우기"), this);
    m_clear = new QPushButton(QStringLiteral("모두 지우기"), this);
    auto* importButton = new QPushButton(QStringLiteral("가져오기…"), this);
    m_export = new QPushButton(QStringLiteral("내보내기…"), this);
    for (QPushButton* b : {m_remove, m_clear, importButton, m_export}) buttons->addWidget(b);
    buttons->addStretch(1);
    root->addLayout(buttons);
    m_status = UiStyle::label(QString(), 11.5, QFont::Normal, UiStyle::secondary(pal), this, false);
    m_status->setWordWrap(true);
    m_status->hide();
    root->addWidget(m_status);

    confirmClear = [this] {
        return QMessageBox::question(this, QStringLiteral("내 낱말 모두 지우기"),
                                     QStringLiteral("내 낱말 %1개를 모두 지울까요? 되돌릴 수 없습니다.").arg(m_list->topLevelItemCount()))
            == QMessageBox::Yes;
    };
    connect(m_remove, &QPushButton::clicked, this, &UserWordsSection::removeSelected);
    connect(m_clear, &QPushButton::clicked, this, &UserWordsSection::clearAll);
    connect(importButton, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("내 낱말 가져오기"), QDir::homePath());
        if (!path.isEmpty()) importFrom(path);
    });
    connect(m_export, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("내 낱말 내보내기"),
                                                          QDir::homePath() + QStringLiteral("/sorelwick-words.txt"));
        if (!path.isEmpty()) exportTo(path);
    });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] { m_remove->setEnabled(!m_list->selectedItems().isEmpty()); });
    QPointer<UserWordsSection> self = this;
    m_observer = Notifier::shared().observe(UserWords::didChange, [self] {
        if (self) self->sync();
    });
    sync();
}

UserWordsSection::~UserWordsSection() { Notifier::shared().remove(m_observer); }

void UserWordsSection::sync()
{
    m_list->clear();
    const auto table = UserWords::shared().table();
    for (const UserWord& w : table->words()) {
        const QString when = w.added.isValid() ? w.added.toLocalTime().toString(QStringLiteral("yyyy-MM-dd")) : QString();
        m_list->addTopLevelItem(new QTreeWidgetItem({w.hangul, w.hanja, when}));
    }
    const bool any = !table->isEmpty();
    m_list->setVisible(any);
    m_empty->setVisible(!any);
    m_remove->setEnabled(any && !m_list->selectedItems().isEmpty());
    m_clear->setEnabled(any);
    m_export->setEnabled(any);
}

void UserWordsSection::say(const QString& text, bool problem)
{
    QPalette pal = m_status->palette();
    pal.setColor(QPalette::WindowText, problem ? UiStyle::accent() : UiStyle::secondary(palette()));
    m_status->setPalette(pal);
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
}

QString UserWordsSection::status() const { return m_status->isVisibleTo(this) ? m_status->text() : QString(); }

void UserWordsSection::removeSelected()
{
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty()) return;
    const UserWords::Result r = UserWords::shared().remove(selected.first()->text(0), selected.first()->text(1));
    say(r.ok ? QString() : r.reason, !r.ok);
    sync();
}

void UserWordsSection::clearAll()
{
    if (m_list->topLevelItemCount() == 0 || !confirmClear || !confirmClear()) return;
    const UserWords::Result r = UserWords::shared().clear();
    say(r.ok ? QString() : r.reason, !r.ok);
    sync();
}

bool UserWordsSection::importFrom(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        say(QStringLiteral("가져오지 못했습니다: %1 (%2)").arg(path, file.errorString()), true);
        return false;
    }
    const UserWords::ImportReport report = UserWords::shared().importLines(file.readAll(), QDateTime::currentDateTimeUtc());
    if (report.failure) {
        say(*report.failure, true);
        return false;
    }
    QString text = QStringLiteral("%1개를 넣었고, %2개는 이미 있어 건너뛰었고, %3개는 형식이 맞지 않아 넣지 않았습니다.")
                       .arg(report.taken)
                       .arg(report.duplicates)
                       .arg(report.malformed);
    if (report.malformed) text += QStringLiteral(" 첫 줄: %1 (%2)").arg(report.firstRefused.left(40), report.refusedWhy);
    say(text, report.malformed > 0);
    sync();
    return true;
}

bool UserWordsSection::exportTo(const QString& path)
{
    const QByteArray bytes = UserWords::shared().exportLines();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush()) {
        say(QStringLiteral("내보내지 못했습니다: %1 (%2)").arg(path, file.errorString()), true);
        return false;
    }
    say(QStringLiteral("%1개를 내보냈습니다: %2").arg(m_list->topLevelItemCount()).arg(path), false);
    return true;
}
