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
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(name);
    return QFileInfo::exists(beside) ? beside : own;
}

} // namespace telviox
