#include "portpath.h"

#include "core/moduleerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

namespace telviox {

QString chooseProgramFolder(const ProgramFolderSetting &setting)
{
    if (!setting.home.isEmpty())
        return QDir(setting.home).absolutePath();
    if (setting.executableFolderWritable)
        return setting.executableFolder;
    // XDG: a relative XDG_DATA_HOME is invalid and ignored.
    const QString dataHome = QDir::isAbsolutePath(setting.dataHome)
                                 ? setting.dataHome
                                 : QDir(setting.userHome).filePath(QStringLiteral(".local/share"));
    return QDir::cleanPath(QDir(dataHome).filePath(QStringLiteral("telvioxd")));
}

bool executableFolderWritable(const QString &folder)
{
#ifdef TELVIOXD_INSTALL_BINDIR
    if (QDir::cleanPath(folder) == QDir::cleanPath(QStringLiteral(TELVIOXD_INSTALL_BINDIR)))
        return false;
#endif
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

QString programFolder()
{
    ProgramFolderSetting setting;
    setting.home = qEnvironmentVariable("TELVIOXD_HOME");
    setting.executableFolder =
        QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    if (setting.home.isEmpty()) {
        setting.executableFolderWritable = executableFolderWritable(setting.executableFolder);
        setting.dataHome = qEnvironmentVariable("XDG_DATA_HOME");
        setting.userHome = QDir::homePath();
    }
    return resolveProgramFolder(setting);
}

QString resolveProgramFolder(const ProgramFolderSetting &setting)
{
    const QString folder = chooseProgramFolder(setting);
    if (setting.home.isEmpty() && !setting.executableFolderWritable && !QFileInfo::exists(folder))
        QDir().mkpath(folder);
    return folder;
}

QString linkedPortPath(int port, const QString &folder)
{
    const QFileInfo link(QDir(folder).filePath(QStringLiteral("ports/com%1").arg(port)));
    if (link.isSymLink())
        return link.symLinkTarget();
    if (link.exists())
        return link.absoluteFilePath();
    return {};
}

QString devicePathForPort(int port, const QString &folder)
{
    const QString linked = linkedPortPath(port, folder);
    return linked.isEmpty() ? QStringLiteral("/dev/ttyS%1").arg(port - 1) : linked;
}

PortChoice PortChoice::forPort(int port, const QString &folder)
{
    const QString linked = linkedPortPath(port, folder);
    PortChoice choice;
    choice.port = port;
    choice.folder = folder;
    choice.source = linked.isEmpty() ? Source::Fallback : Source::Link;
    choice.device = linked.isEmpty() ? devicePathForPort(port, folder) : linked;
    return choice;
}

PortChoice PortChoice::forDevice(int port, const QString &device)
{
    PortChoice choice;
    choice.port = port;
    choice.device = QFileInfo(device).absoluteFilePath();
    choice.source = Source::Given;
    return choice;
}

QString describePort(const PortChoice &choice, qint32 baud)
{
    const QString rate = QStringLiteral(" at %1 baud").arg(baud);
    const QString link = QStringLiteral("ports/com%1").arg(choice.port);
    switch (choice.source) {
    case PortChoice::Source::Given:
        return choice.device + rate;
    case PortChoice::Source::Link:
        return QStringLiteral("COM%1 (%2 via %3)")
                   .arg(QString::number(choice.port), choice.device,
                        QDir(choice.folder).filePath(link)) +
               rate;
    case PortChoice::Source::Fallback:
        break;
    }
    return QStringLiteral("COM%1 (%2; no %3 in %4)")
               .arg(QString::number(choice.port), choice.device, link,
                    QDir::cleanPath(choice.folder)) +
           rate;
}

QString openFailureReason(PortDevice::OpenResult result)
{
    switch (result) {
    case PortDevice::OpenResult::Missing:
        return QStringLiteral("no such device");
    case PortDevice::OpenResult::PermissionDenied:
        return QStringLiteral("permission denied");
    case PortDevice::OpenResult::Busy:
        return QStringLiteral("the port is in use by another program");
    case PortDevice::OpenResult::Ok:
    case PortDevice::OpenResult::Failed:
        break;
    }
    return {};
}

QString describeOpenFailure(const PortChoice &choice, qint32 baud, qint16 code,
                            PortDevice::OpenResult result)
{
    const QString reason = openFailureReason(result);
    return QStringLiteral("cannot open %1: error %2: %3")
               .arg(describePort(choice, baud), QString::number(code),
                    moduleErrorDescription(code).trimmed()) +
           (reason.isEmpty() ? QString() : QStringLiteral(" (") + reason + QLatin1Char(')'));
}

bool isSerialPortGroup(const QString &group)
{
    return group == QLatin1String("dialout") || group == QLatin1String("uucp") ||
           group == QLatin1String("serial");
}

QString permissionHint(const QString &device, const QString &group)
{
    const QString denied = QStringLiteral("Cannot open %1: permission denied.").arg(device);
    if (group.isEmpty())
        return denied;
    if (isSerialPortGroup(group))
        return denied + QStringLiteral(" The device belongs to group %1; add your user to it "
                                       "(sudo adduser $USER %1) and log in again.")
                            .arg(group);
    // Joining root or tty would open far more than this port.
    return denied +
           QStringLiteral(" The device belongs to group %1; rather than joining it, give the "
                          "device to a serial-port group with a udev rule, for example "
                          "KERNEL==\"%2\", GROUP=\"dialout\", MODE=\"0660\" in a file under "
                          "/etc/udev/rules.d/, then add your user to dialout and log in again.")
               .arg(group, QFileInfo(device).fileName());
}

} // namespace telviox
