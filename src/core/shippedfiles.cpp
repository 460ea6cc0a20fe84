#include "core/shippedfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace telviox {

QString shippedFilePath(const QString &name, const QString &programFolder)
{
    if (!QCoreApplication::instance())
        return QDir(programFolder).filePath(name);
    return shippedFilePath(name, programFolder, QCoreApplication::applicationDirPath());
}

QString shippedFilePath(const QString &name, const QString &programFolder,
                        const QString &executableFolder)
{
    const QString own = QDir(programFolder).filePath(name);
    if (QFileInfo::exists(own))
        return own;
    const QDir executable(executableFolder);
    for (const QString &candidate :
         {executable.filePath(name),
          QDir::cleanPath(executable.filePath(InstalledShareFolder + QLatin1Char('/') + name))}) {
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return own;
}

} // namespace telviox
