// What start-up takes from the configuration file.

#include "app/shell/configfile.h"
#include "app/shellrig.h"
#include "support/scriptedprompt.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace telviox;

class TestConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void reading_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("taken"); // the options as the exit would write them
        const auto good = [](const char *tag, const QByteArray &content, const QByteArray &taken) {
            QTest::newRow(tag) << content << true << taken;
        };
        // Defaults, and the port the probe found (2) stays.
        const auto bad = [](const char *tag, const QByteArray &content) {
            QTest::newRow(tag) << content << false << QByteArray("2,16,0,0\n");
        };
        good("auto-run, CR LF", "2,16,0,1\r\n", "2,16,0,1\n");
        good("blanks, no line break", " 12 , 2047 ,0, 0", "12,2047,0,0\n");
        good("only the first line counts", "4,8,1,0\ngarbage\n", "4,8,1,0\n");
        good("highest port", "255,1,0,0\n", "255,1,0,0\n");
        bad("empty", "");
        bad("three numbers", "3,0,1\n");
        bad("decimal point", "3.5,0,1,0\n");
        bad("port 0", "0,16,0,0\n");
        bad("port beyond the list", "256,16,0,0\n");
        bad("unknown rate bit", "1,2048,0,0\n");
        bad("checksum 2", "1,16,2,0\n");
        bad("overflowing number", "99999999999,16,0,0\n");
        bad("binary", QByteArray("\x00\xff\x01,\x02", 5));
    }

    void reading()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, valid);
        QTemporaryDir dir;
        const QString path = configFilePath(dir.path());
        test::writeFile(path, content);
        test::ScriptedPrompt prompt;
        SharedState state;
        state.ComPort = 2;
        state.SearchBaudMask = 1;
        state.SearchChecksum = 1;
        state.AutoRun = 1;
        if (!valid)
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression(QRegularExpression::escape(path) + ".*defaults"));
        QTest::failOnWarning(QRegularExpression(".*"));
        QCOMPARE(readConfiguration(state, prompt, dir.path()),
                 valid ? ConfigRead::Read : ConfigRead::Unreadable);
        QVERIFY(prompt.shown().isEmpty());
        QTEST(formatConfiguration(
                  {state.ComPort, state.SearchBaudMask, state.SearchChecksum, state.AutoRun}),
              "taken");
        QCOMPARE(int(state.StartHidden), int(state.AutoRun)); // auto-run starts hidden
        QCOMPARE(test::readFile(path), content); // left for the operator until the exit
    }
};

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
