// Where a program keeps lumvex.cfg, default.cnv and ports/: TELVIOXD_HOME,
// else its own folder when it may write there, else the user's data folder.

#include "core/shippedfiles.h"
#include "device/portpath.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace telviox;

class TestProgramFolder : public QObject
{
    Q_OBJECT

private slots:
    void choice_data();
    void choice();
    void readOnlyFolderIsNotWritable();
    void dataFolderIsCreatedOnFirstStart();
    void environmentDecides();
    void shippedFiles();
};

void TestProgramFolder::choice_data()
{
    QTest::addColumn<QString>("home");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("dataHome");
    QTest::addColumn<QString>("expected");

    QTest::newRow("build tree") << "" << true << "/x/data"
                                << "/opt/b/bin";
    QTest::newRow("installed") << "" << false << "/x/data"
                               << "/x/data/telvioxd";
    QTest::newRow("installed, no XDG_DATA_HOME") << "" << false << ""
                                                 << "/home/op/.local/share/telvioxd";
    // A relative XDG_DATA_HOME is not valid and is ignored.
    QTest::newRow("installed, relative XDG_DATA_HOME") << "" << false << "data"
                                                       << "/home/op/.local/share/telvioxd";
    QTest::newRow("TELVIOXD_HOME over everything") << "/srv/tx" << false << "/x/data"
                                                   << "/srv/tx";
    QTest::newRow("TELVIOXD_HOME over a writable folder") << "/srv/tx/" << true << "/x/data"
                                                          << "/srv/tx";
}

void TestProgramFolder::choice()
{
    QFETCH(QString, home);
    QFETCH(bool, writable);
    QFETCH(QString, dataHome);
    QFETCH(QString, expected);
    const ProgramFolderSetting setting{home, QStringLiteral("/opt/b/bin"), writable, dataHome,
                                       QStringLiteral("/home/op")};
    QCOMPARE(chooseProgramFolder(setting), expected);
}

void TestProgramFolder::readOnlyFolderIsNotWritable()
{
    QTemporaryDir dir;
    QVERIFY(executableFolderWritable(dir.path()));
    // The installation's own bin folder never is, whoever asks.
    QVERIFY(!executableFolderWritable(QStringLiteral(TELVIOXD_TEST_INSTALL_BINDIR)));
    if (::geteuid() == 0)
        QSKIP("root may write into a read-only folder");
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    QVERIFY(!executableFolderWritable(dir.path()));
    QVERIFY(
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

// An installed program on its first start: the folder does not exist yet and
// is made, parents included; with TELVIOXD_HOME nothing is made.
void TestProgramFolder::dataFolderIsCreatedOnFirstStart()
{
    QTemporaryDir data;
    const QString dataHome = data.filePath(QStringLiteral("share"));
    ProgramFolderSetting installed{QString(), QStringLiteral("/usr/bin"), false, dataHome,
                                   QStringLiteral("/nonexistent")};
    const QString folder = resolveProgramFolder(installed);
    QCOMPARE(folder, dataHome + QStringLiteral("/telvioxd"));
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(resolveProgramFolder(installed), folder); // the second start finds it

    QTemporaryDir other;
    installed.home = other.filePath(QStringLiteral("not-made"));
    installed.dataHome = data.filePath(QStringLiteral("other"));
    QCOMPARE(resolveProgramFolder(installed), installed.home);
    QVERIFY(!QFileInfo::exists(installed.home));
    QVERIFY(!QFileInfo::exists(installed.dataHome));
}

void TestProgramFolder::environmentDecides()
{
    QTemporaryDir home;
    qputenv("TELVIOXD_HOME", QFile::encodeName(home.path()));
    QCOMPARE(programFolder(), home.path());
    qunsetenv("TELVIOXD_HOME");
    // The test's own folder is writable: it is the program folder, as for a
    // program run from the build tree.
    QCOMPARE(programFolder(), QCoreApplication::applicationDirPath());
}

// Help and icons: an operator's own copy in the program folder first, then
// beside the executable (the build tree), then the installation's share folder.
void TestProgramFolder::shippedFiles()
{
    QTemporaryDir root;
    const QDir dir(root.path());
    QVERIFY(dir.mkpath("home") && dir.mkpath("usr/bin") && dir.mkpath("usr/share/telvioxd"));
    const auto touch = [&dir](const QString &path) {
        QFile file(dir.filePath(path));
        return file.open(QIODevice::WriteOnly);
    };
    const QString home = dir.filePath("home"), bin = dir.filePath("usr/bin");
    const QString help = QStringLiteral("telvioxd.html");

    QCOMPARE(shippedFilePath(help, home, bin), dir.filePath("home/telvioxd.html")); // none
    QVERIFY(touch("usr/share/telvioxd/telvioxd.html"));
    QCOMPARE(shippedFilePath(help, home, bin), dir.filePath("usr/share/telvioxd/telvioxd.html"));
    QVERIFY(touch("usr/bin/telvioxd.html"));
    QCOMPARE(shippedFilePath(help, home, bin), dir.filePath("usr/bin/telvioxd.html"));
    QVERIFY(touch("home/telvioxd.html"));
    QCOMPARE(shippedFilePath(help, home, bin), dir.filePath("home/telvioxd.html"));
}

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
