#include "base/Resources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace Resources {
namespace {

QStringList folders()
{
    const QString overridden = qEnvironmentVariable("SORELWICK_DATA_DIR");
    if (!overridden.isEmpty()) return {overridden};
    // Beside the program first (share/sorelwick next to bin/), so an installed tree can be moved
    // or unpacked anywhere; in the build tree that is the build's own data folder.
    QStringList result;
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    if (!exe.isEmpty())
        result << QDir::cleanPath(QFileInfo(exe).path() + QStringLiteral("/" SORELWICK_DATA_FROM_PROGRAM));
    for (const QString& fixed : {QStringLiteral(SORELWICK_INSTALL_DATA_DIR), QStringLiteral(SORELWICK_BUILD_DATA_DIR)})
        if (!result.contains(fixed)) result << fixed;
    return result;
}

} // namespace

QString frontProgram()
{
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    if (exe.isEmpty()) return QString();
    const QFileInfo front(QDir::cleanPath(QFileInfo(exe).path() + QStringLiteral("/" SORELWICK_FRONT_FROM_PROGRAM)));
    return front.isFile() && front.isExecutable() ? front.filePath() : exe;
}

QString dataDirectories() { return folders().join(QStringLiteral(", ")); }

QString locate(const QString& fileName)
{
    for (const QString& folder : folders()) {
        const QString path = folder + QLatin1Char('/') + fileName;
        if (QFileInfo(path).isFile()) return path;
    }
    return QString();
}

} // namespace Resources
