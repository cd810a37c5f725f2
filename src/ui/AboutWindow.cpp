#include "ui/AboutWindow.h"

#include "base/Log.h"
#include "base/Resources.h"
#include "ui/TrayIconPainter.h"
#include "ui/UiStyle.h"

#include <QCoreApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int kIcon = 64;

QString rgba(const QColor& c)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF());
}

bool isWebAddress(const QString& line)
{
    if (!line.startsWith(QLatin1String("https://"))) return false;
    const QUrl url(line, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty();
}

} // namespace

AboutWindow& AboutWindow::shared()
{
    static AboutWindow* instance = new AboutWindow(); // kept for the life of the process
    return *instance;
}

AboutWindow::AboutWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_credits(new QTextBrowser(this))
{
    setWindowTitle(QStringLiteral("소렐 정보"));
    setFixedWidth(360);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(20, 20, 20, 20);
    root->setSpacing(10);

    auto* icon = new QLabel(this);
    QPixmap pixmap = QPixmap::fromImage(TrayIconPainter::applicationIcon(kIcon * 2));
    pixmap.setDevicePixelRatio(2);
    icon->setPixmap(pixmap);
    icon->setAlignment(Qt::AlignCenter);
    root->addWidget(icon);
    auto* name = new QLabel(QStringLiteral("소렐"), this);
    name->setFont(UiStyle::font(15, QFont::Bold));
    name->setAlignment(Qt::AlignCenter);
    root->addWidget(name);
    const QString version = QCoreApplication::applicationVersion();
    auto* versionLabel = new QLabel(
        QStringLiteral("Sorelwick") + (version.isEmpty() ? QString() : QStringLiteral(" ") + version), this);
    versionLabel->setFont(UiStyle::font(11));
    versionLabel->setAlignment(Qt::AlignCenter);
    QPalette pal = versionLabel->palette();
    pal.setColor(QPalette::WindowText, UiStyle::secondary(palette()));
    versionLabel->setPalette(pal);
    root->addWidget(versionLabel);

    m_credits->setOpenExternalLinks(true);
    m_credits->setFixedHeight(260);
    m_credits->setHtml(creditsHtml(creditsText()));
    root->addWidget(m_credits);
}

void AboutWindow::present()
{
    show();
    raise();
    activateWindow();
}

QString AboutWindow::creditsText()
{
    const QString path = Resources::locate(QStringLiteral("Licenses.txt"));
    if (path.isEmpty()) {
        Log::write(QStringLiteral("정보 창: Licenses.txt 없음 (%1)").arg(Resources::dataDirectories()));
        return QString();
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Log::write(QStringLiteral("정보 창: %1 읽기 실패: %2").arg(path, file.errorString()));
        return QString();
    }
    QStringDecoder decode(QStringDecoder::Utf8);
    const QString text = decode(file.readAll());
    if (decode.hasError()) {
        Log::write(QStringLiteral("정보 창: %1 은(는) UTF-8이 아님").arg(path));
        return QString();
    }
    return text;
}

QString AboutWindow::creditsHtml(const QString& text)
{
    const QPalette pal;
    const QString secondary = rgba(UiStyle::secondary(pal));
    QString html;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (line.isEmpty()) continue;
        if (isWebAddress(line)) {
            html += QStringLiteral("<p style=\"margin-top:0; margin-bottom:4px; font-size:10px\"><a href=\"%1\">%1</a></p>")
                        .arg(line.toHtmlEscaped());
        } else if (line.startsWith(QLatin1String("## "))) {
            html += QStringLiteral("<p style=\"margin-top:10px; margin-bottom:3px; font-size:11px; font-weight:600\">%1</p>")
                        .arg(line.mid(3).toHtmlEscaped());
        } else {
            html += QStringLiteral("<p style=\"margin-top:0; margin-bottom:4px; font-size:10px; color:%1\">%2</p>")
                        .arg(secondary, line.toHtmlEscaped());
        }
    }
    return html;
}
