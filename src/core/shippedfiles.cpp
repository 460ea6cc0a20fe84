#include "core/shippedfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace telviox {

QString shippedFilePath(const QString &name, const QString &programFolder)
{
    const QString own = QDir(programFolder).filePath(name);
    if (QFileInfo::exists(own) || !QCoreApplication::instance())
        return own;
    const QDir executable(QCoreApplication::applicationDirPath());
    for (const QString &candidate :
         {executable.filePath(name),
          QDir::cleanPath(executable.filePath(InstalledShareFolder + QLatin1Char('/') + name))}) {
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return own;
}

} // namespace telviox
