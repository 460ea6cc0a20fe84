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
        QTest::addColumn<QString>("warning");  // what stderr names: "" nothing
        QTest::addColumn<QByteArray>("taken"); // the options as the exit would write them
        // Before reading: the probe found COM2; the other options are not defaults.
        const auto row = [](const char *tag, const QByteArray &content, const char *warning,
                            const QByteArray &taken) {
            QTest::newRow(tag) << content << QString::fromLatin1(warning) << taken;
        };
        row("auto-run, CR LF", "2,16,0,1\r\n", "", "2,16,0,1\n");
        row("blanks, no line break", " 12 , 2047 ,0, 0", "", "12,2047,0,0\n");
        row("only the first line counts", "4,8,1,0\ngarbage\n", "", "4,8,1,0\n");
        row("highest port", "255,1,0,0\n", "", "255,1,0,0\n");
        // One unusable value takes its default; the usable ones are kept.
        row("auto-run 2 keeps COM3", "3,16,0,2\n", "auto-run", "3,16,0,0\n");
        row("port 0 keeps the probe's port", "0,8,1,1\n", "port", "2,8,1,1\n");
        row("unknown rate bit", "1,2048,1,0\n", "search rates", "1,16,1,0\n");
        row("negative mask", "5,-1,1,0\n", "search rates", "5,16,1,0\n");
        row("checksum 2", "1,8,2,1\n", "checksum", "1,8,0,1\n");
        row("overflowing number", "99999999999,8,0,0\n", "port", "2,8,0,0\n");
        row("nothing usable", "0,4096,7,-1\n", "port, search rates, checksum, auto-run",
            "2,16,0,0\n");
        // Not four integers: every default.
        row("empty", "", "using the defaults", "2,16,0,0\n");
        row("three numbers", "3,0,1\n", "using the defaults", "2,16,0,0\n");
        row("decimal point", "3.5,0,1,0\n", "using the defaults", "2,16,0,0\n");
        row("binary", QByteArray("\x00\xff\x01,\x02", 5), "using the defaults", "2,16,0,0\n");
    }

    void reading()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, warning);
        QTemporaryDir dir;
        const QString path = configFilePath(dir.path());
        test::writeFile(path, content);
        test::ScriptedPrompt prompt;
        SharedState state;
        state.ComPort = 2;
        state.SearchBaudMask = 1;
        state.SearchChecksum = 1;
        state.AutoRun = 1;
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QRegularExpression::escape(path) + ".*" +
                                                    QRegularExpression::escape(warning)));
        QTest::failOnWarning(QRegularExpression(".*"));
        QCOMPARE(readConfiguration(state, prompt, dir.path()),
                 warning.startsWith(u"using") ? ConfigRead::Unreadable : ConfigRead::Read);
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
