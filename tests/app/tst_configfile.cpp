#include "app/shell/configfile.h"
#include "conversations/conversationcommands.h"
#include "support/scriptedprompt.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace telviox;
using telviox::test::ScriptedPrompt;

class TestConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void missingFileReportsItsPathAndSetsDefaults();
    void validLinesAreTaken_data();
    void validLinesAreTaken();
    void unreadableLinesGiveDefaultsAndOneWarning_data();
    void unreadableLinesGiveDefaultsAndOneWarning();
    void writingReplacesTheFileWhole();
    void baudMaskRoundTrip();

private:
    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // A state as the probe leaves it, with options that must be overwritten.
    static SharedState probedState()
    {
        SharedState state;
        state.ComPort = 2;
        state.SearchBaudMask = 1;
        state.SearchChecksum = 1;
        state.AutoRun = 1;
        return state;
    }
};

void TestConfigFile::missingFileReportsItsPathAndSetsDefaults()
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("lumvex.cfg"));
    ScriptedPrompt prompt;
    prompt.expect(QStringLiteral("File Not exist !!!") + path, BoxStyle::Ok, ApplicationTitle,
                  Answer::Ok);

    SharedState state = probedState();
    QCOMPARE(readConfiguration(state, prompt, dir.path()), ConfigRead::Missing);
    QVERIFY2(prompt.problems().isEmpty(), qPrintable(prompt.problems().join('\n')));
    QCOMPARE(state.ComPort, 2); // the probe's port stays
    QCOMPARE(state.SearchBaudMask, 16);
    QCOMPARE(state.SearchChecksum, 0);
    QCOMPARE(state.AutoRun, 0);
    QCOMPARE(state.StartHidden, 0);
    QVERIFY(!QFile::exists(path)); // reading never creates it
}

void TestConfigFile::validLinesAreTaken_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("checksum");
    QTest::addColumn<int>("autoRun");

    QTest::newRow("COM3, no rate, checksum, no auto-run")
        << QByteArray("3,0,1,0\n") << 3 << 0 << 1 << 0;
    QTest::newRow("auto-run, CR LF") << QByteArray("2,16,0,1\r\n") << 2 << 16 << 0 << 1;
    QTest::newRow("blanks, no line break")
        << QByteArray(" 12 , 2047 ,0, 0") << 12 << 2047 << 0 << 0;
    QTest::newRow("only the first line counts")
        << QByteArray("4,8,0,0\ngarbage\n") << 4 << 8 << 0 << 0;
    QTest::newRow("highest port") << QByteArray("255,1,0,0\n") << 255 << 1 << 0 << 0;
}

void TestConfigFile::validLinesAreTaken()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    writeFile(configFilePath(dir.path()), content);
    ScriptedPrompt prompt;
    SharedState state = probedState();
    state.AutoRun = 0;

    QCOMPARE(readConfiguration(state, prompt, dir.path()), ConfigRead::Read);
    QVERIFY(prompt.shown().isEmpty());
    QTEST(int(state.ComPort), "port");
    QTEST(int(state.SearchBaudMask), "mask");
    QTEST(int(state.SearchChecksum), "checksum");
    QTEST(int(state.AutoRun), "autoRun");
    // Auto-run hides the windows once the server is up.
    QCOMPARE(int(state.StartHidden), int(state.AutoRun));
}

void TestConfigFile::unreadableLinesGiveDefaultsAndOneWarning_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("three numbers") << QByteArray("3,0,1\n");
    QTest::newRow("five numbers") << QByteArray("3,0,1,0,1\n");
    QTest::newRow("words") << QByteArray("com3,all,yes,no\n");
    QTest::newRow("decimal point") << QByteArray("3.5,0,1,0\n");
    QTest::newRow("port 0") << QByteArray("0,16,0,0\n");
    QTest::newRow("port beyond the list") << QByteArray("256,16,0,0\n");
    QTest::newRow("unknown rate bit") << QByteArray("1,2048,0,0\n");
    QTest::newRow("negative mask") << QByteArray("1,-1,0,0\n");
    QTest::newRow("checksum 2") << QByteArray("1,16,2,0\n");
    QTest::newRow("auto-run 7") << QByteArray("1,16,0,7\n");
    QTest::newRow("overflowing number") << QByteArray("99999999999,16,0,0\n");
    QTest::newRow("binary") << QByteArray("\x00\xff\x01,\x02", 5);
    QTest::newRow("numbers on separate lines") << QByteArray("3\n0\n1\n0\n");
}

void TestConfigFile::unreadableLinesGiveDefaultsAndOneWarning()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = configFilePath(dir.path());
    writeFile(path, content);
    ScriptedPrompt prompt;
    SharedState state = probedState();

    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QRegularExpression::escape(path) + ".*defaults"));
    QTest::failOnWarning(QRegularExpression(".*"));
    QCOMPARE(readConfiguration(state, prompt, dir.path()), ConfigRead::Unreadable);
    QVERIFY(prompt.shown().isEmpty());
    QCOMPARE(state.ComPort, 2);
    QCOMPARE(state.SearchBaudMask, 16);
    QCOMPARE(state.SearchChecksum, 0);
    QCOMPARE(state.AutoRun, 0);
    QCOMPARE(state.StartHidden, 0);
    // The file is left for the operator to look at until the next exit.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
}

void TestConfigFile::writingReplacesTheFileWhole()
{
    QTemporaryDir dir;
    const QString path = configFilePath(dir.path());
    writeFile(path, "200,2047,1,1 and a long tail that must not survive\n");

    SharedState state;
    state.ComPort = 3;
    state.SearchBauds = searchBaudsOfMask(0);
    state.SearchChecksum = 1;
    state.AutoRun = 0;
    QVERIFY(writeConfiguration(configurationOf(state), dir.path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("3,0,1,0\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{ConfigFile::FileName});

    // What is written is read back unchanged.
    const Configuration c{7, 0x5A5, 0, 1};
    QVERIFY(writeConfiguration(c, dir.path()));
    QFile again(path);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(parseConfiguration(again.readAll()), std::optional<Configuration>(c));

    QString error;
    QVERIFY(!writeConfiguration(c, QDir(dir.path()).filePath("no/such/folder"), &error));
    QVERIFY(!error.isEmpty());
}

void TestConfigFile::baudMaskRoundTrip()
{
    // Bit i is rate i of the search's list; the decoded flags give the mask back.
    const auto bauds = searchBaudsOfMask(16);
    for (int i = 0; i < ConfigFile::SearchBaudCount; ++i)
        QCOMPARE(bauds[std::size_t(i)], quint8(i == 4 ? 1 : 0));
    for (int mask : {0, 1, 16, 0x400, 0x2AA, 0x7FF})
        QCOMPARE(searchBaudMaskOf(searchBaudsOfMask(qint16(mask))), qint16(mask));
    // Any non-zero flag counts as set.
    std::array<quint8, ConfigFile::SearchBaudCount> flags{};
    flags[0] = 1;
    flags[10] = 2;
    QCOMPARE(searchBaudMaskOf(flags), qint16(0x401));
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
