#include "base/Resources.h"

#include <QFileInfo>
#include <QStringList>

namespace Resources {
namespace {

QStringList folders()
{
    const QString overridden = qEnvironmentVariable("SORELWICK_DATA_DIR");
    if (!overridden.isEmpty()) return {overridden};
    return {QStringLiteral(SORELWICK_INSTALL_DATA_DIR), QStringLiteral(SORELWICK_BUILD_DATA_DIR)};
}

} // namespace

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
