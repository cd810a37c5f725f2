#include "app/Autostart.h"

#include "base/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace Autostart {

QString filePath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config)) config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/sorelwick.desktop");
}

bool isEnabled() { return QFileInfo(filePath()).isFile(); }

QString execValue(const QString& executable)
{
    // Quoting of the Exec key: reserved characters put the argument in double quotes, where ",
    // `, $ and \ take a backslash; % is doubled as field codes use it.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = false;
    QString inner;
    for (const QChar c : executable) {
        if (reserved.contains(c)) quote = true;
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            inner += QLatin1Char('\\');
        inner += c;
        if (c == QLatin1Char('%')) inner += QLatin1Char('%');
    }
    QString arg = quote ? QLatin1Char('"') + inner + QLatin1Char('"') : executable;
    if (!quote) arg.replace(QLatin1Char('%'), QStringLiteral("%%"));
    // Then the string escapes every value of a desktop entry has.
    QString value;
    for (const QChar c : arg) {
        if (c == QLatin1Char('\\')) value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n')) value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t')) value += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r')) value += QStringLiteral("\\r");
        else value += c;
    }
    return value;
}

QByteArray entry(const QString& executable)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Sorelwick\n"
                          "Name[ko]=소렐\n"
                          "Comment=Writes Hanja for the Korean word you select\n"
                          "Comment[ko]=선택한 낱말을 한자로 적습니다\n"
                          "Exec=%1\n"
                          "Icon=sorelwick\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execValue(executable))
        .toUtf8();
}

std::optional<QString> enable(const QString& executable)
{
    const QString path = filePath();
    const QString folder = QFileInfo(path).path();
    if (!QDir().mkpath(folder)) {
        Log::write(QStringLiteral("자동 시작: 폴더를 만들 수 없음: %1").arg(folder));
        return QStringLiteral("%1 폴더를 만들 수 없습니다.").arg(folder);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry(executable)) < 0 || !file.commit()) {
        Log::write(QStringLiteral("자동 시작: 쓰지 못함: %1 (%2)").arg(path, file.errorString()));
        return QStringLiteral("%1 파일을 쓸 수 없습니다.").arg(path);
    }
    Log::write(QStringLiteral("자동 시작: 켬 (%1)").arg(path));
    return std::nullopt;
}

std::optional<QString> disable()
{
    const QString path = filePath();
    QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return std::nullopt;
    QFile file(path);
    if (!file.remove()) {
        Log::write(QStringLiteral("자동 시작: 지우지 못함: %1 (%2)").arg(path, file.errorString()));
        return QStringLiteral("%1 파일을 지울 수 없습니다.").arg(path);
    }
    Log::write(QStringLiteral("자동 시작: 끔 (%1)").arg(path));
    return std::nullopt;
}

} // namespace Autostart
