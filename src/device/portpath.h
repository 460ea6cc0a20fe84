#pragma once

#include "portdevice.h"

#include <QString>

namespace telviox {

// Where COM port n lives: ports/comN in the program's folder when that link
// exists, else /dev/ttyS(n-1).
//
// The program's folder (lumvex.cfg, default.cnv, ports/) is TELVIOXD_HOME when
// set, else the executable's folder when the program may write there, else
// (an installed program) $XDG_DATA_HOME/telvioxd, by default
// ~/.local/share/telvioxd, created when first needed.
QString programFolder();

struct ProgramFolderSetting
{
    QString home;             // TELVIOXD_HOME
    QString executableFolder; // where the program's executable is
    bool executableFolderWritable = true;
    QString dataHome; // XDG_DATA_HOME
    QString userHome; // HOME
};
// The folder the rule above chooses; nothing is created.
QString chooseProgramFolder(const ProgramFolderSetting &setting);
// The same, creating the data folder when it is the one chosen.
QString resolveProgramFolder(const ProgramFolderSetting &setting);
// An installed program's folder in /usr/bin is never its program folder, even
// for root, who may write there.
bool executableFolderWritable(const QString &folder);
// Where ports/comN points, made absolute; empty when there is no such link.
QString linkedPortPath(int port, const QString &folder);
QString devicePathForPort(int port, const QString &folder = programFolder());

// The device a program really talks to for a port, and how it came to it, so
// that a message can name it rather than only "COM3".
struct PortChoice
{
    enum class Source {
        Link,     // ports/comN in the program's folder
        Fallback, // no such link: /dev/ttyS(n-1)
        Given,    // named on the command line
    };

    int port = 1;
    QString device;
    Source source = Source::Fallback;
    QString folder; // the program's folder that was looked in

    static PortChoice forPort(int port, const QString &folder = programFolder());
    static PortChoice forDevice(int port, const QString &device);
};

// "COM1 (/dev/pts/3 via /srv/tx/ports/com1) at 9600 baud",
// "COM3 (/dev/ttyS2; no ports/com3 in /srv/tx) at 9600 baud",
// "/dev/ttyUSB0 at 9600 baud".
QString describePort(const PortChoice &choice, qint32 baud);

// Why a device could not be opened, as a clause for an error line; empty when
// nothing more is known than the failure itself.
QString openFailureReason(PortDevice::OpenResult result);
// "cannot open <port> at <rate> baud: error 2: COM Port Error ! (<reason>)"
// for an Open_Com that returned code.
QString describeOpenFailure(const PortChoice &choice, qint32 baud, qint16 code,
                            PortDevice::OpenResult result);

// What to do about a device the user may not open. Only a serial-port group
// is worth joining; for any other (root, tty) access comes from a udev rule.
QString permissionHint(const QString &device, const QString &group);
bool isSerialPortGroup(const QString &group);

} // namespace telviox
