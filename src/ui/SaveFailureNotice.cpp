#include "ui/SaveFailureNotice.h"

#include "base/Defaults.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

SaveFailureNotice::SaveFailureNotice(QObject* parent)
    : QObject(parent)
{
    QPointer<SaveFailureNotice> self = this;
    m_observer = Notifier::shared().observe(Notifications::settingsDidFailToSave, [self] {
        // Posted from inside a change, maybe in the middle of a pick: the box waits for the loop.
        if (self && !self->m_told) {
            self->m_told = true;
            QTimer::singleShot(0, self, &SaveFailureNotice::tell);
        }
    });
}

SaveFailureNotice::~SaveFailureNotice()
{
    Notifier::shared().remove(m_observer);
    delete m_box;
}

void SaveFailureNotice::tell()
{
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("소렐"),
                                QStringLiteral("설정 파일에 저장하지 못했습니다."), QMessageBox::Ok);
    box->setInformativeText(
        QStringLiteral("바꾼 설정과 고른 기록은 소렐을 끝낼 때까지 그대로 쓰이고, 저장할 수 있게 되면 함께 "
                       "저장됩니다.\n\n이 폴더의 쓰기 권한과 남은 공간을 확인해 주세요:\n%1")
            .arg(QFileInfo(Defaults::defaultPath()).absolutePath()));
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Not modal and not focused: the text being edited keeps the keyboard (a paste may be under way).
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setWindowModality(Qt::NonModal);
    m_box = box;
    box->show();
}
