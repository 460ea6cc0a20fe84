// telvioxd-serve's command line and its voice: what each command line is
// taken for, the usage errors with their status, the answers given in place
// of an operator, and the log lines.

#include "serve/servelog.h"
#include "serve/serveoptions.h"

#include <QDir>
#include <QTest>

using namespace telviox;

class TestServeOptions : public QObject
{
    Q_OBJECT

private slots:
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void answers_data();
    void answers();
    void logLines();
};

void TestServeOptions::accepted_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("com");
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("interval"); // 0: none given
    QTest::addColumn<bool>("home");

    QTest::newRow("file only") << QStringList{"a.cnv"} << 0 << "" << 0 << false;
    QTest::newRow("com and interval ends")
        << QStringList{"--com", "255", "--interval", "50", "a.cnv"} << 255 << "" << 50 << false;
    QTest::newRow("device, interval top")
        << QStringList{"--device=/dev/ttyUSB0", "--interval", "10000", "a.cnv"} << 0
        << "/dev/ttyUSB0" << 10000 << false;
    QTest::newRow("options after the file")
        << QStringList{"a.cnv", "--com", "3", "--home", "h"} << 3 << "" << 0 << true;
}

void TestServeOptions::accepted()
{
    QFETCH(QStringList, args);
    QFETCH(int, com);
    QFETCH(QString, device);
    QFETCH(int, interval);
    QFETCH(bool, home);
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    ServeCommandLine commandLine(outStream, errStream);
    QCOMPARE(commandLine.parse(QStringList{"telvioxd-serve"} + args), std::nullopt);
    QCOMPARE(err, QString());
    const ServeOptions &options = commandLine.options();
    QCOMPARE(options.file, QDir::current().absoluteFilePath("a.cnv"));
    QCOMPARE(options.com, com);
    QCOMPARE(options.device, device);
    QCOMPARE(options.interval.value_or(0), interval);
    QCOMPARE(options.home, home ? QDir::current().absoluteFilePath("h") : QString());
}

void TestServeOptions::refused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");

    QTest::newRow("no file") << QStringList{} << "no conversation list (FILE.cnv) given";
    QTest::newRow("two files") << QStringList{"a.cnv", "b.cnv"}
                               << "one conversation list only, not 2: a.cnv b.cnv";
    QTest::newRow("com and device") << QStringList{"--com", "1", "--device", "/dev/x", "a.cnv"}
                                    << "give --com or --device, not both";
    QTest::newRow("com 0") << QStringList{"--com", "0", "a.cnv"}
                           << "--com: 0 is not a number from 1 to 255";
    QTest::newRow("com word") << QStringList{"--com", "COM1", "a.cnv"}
                              << "--com: COM1 is not a number from 1 to 255";
    QTest::newRow("interval below") << QStringList{"--interval", "49", "a.cnv"}
                                    << "--interval: 49 is not a number from 50 to 10000";
    QTest::newRow("interval with unit") << QStringList{"--interval", "100ms", "a.cnv"}
                                        << "--interval: 100ms is not a number from 50 to 10000";
    QTest::newRow("empty device") << QStringList{"--device=", "a.cnv"} << "--device: no path given";
    QTest::newRow("unknown option")
        << QStringList{"--mqtt-nope", "a.cnv"} << "Unknown option 'mqtt-nope'.";
    QTest::newRow("value missing")
        << QStringList{"a.cnv", "--com"} << "Missing value after '--com'.";
}

void TestServeOptions::refused()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    ServeCommandLine commandLine(outStream, errStream);
    QCOMPARE(commandLine.parse(QStringList{"telvioxd-serve"} + args),
             std::optional<int>(ToolCommandLine::ExitUsage));
    QCOMPARE(err, "telvioxd-serve: " + message +
                      "\nTry 'telvioxd-serve --help' for more information.\n");
    QCOMPARE(out, QString());
}

void TestServeOptions::answers_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<Answer>("answer");

    // The port error's question: No keeps the server running.
    QTest::newRow("Quit this demo?") << int(BoxStyle::YesNo) << Answer::No;
    QTest::newRow("no file selection")
        << (BoxStyle::Critical | BoxStyle::CancelTryContinue) << Answer::Continue;
    QTest::newRow("yes, no, cancel") << (BoxStyle::Question | BoxStyle::YesNoCancel) << Answer::No;
    QTest::newRow("abort, retry, ignore") << int(BoxStyle::AbortRetryIgnore) << Answer::Ignore;
    // Retry would ask again for ever.
    QTest::newRow("retry, cancel") << int(BoxStyle::RetryCancel) << Answer::Cancel;
}

void TestServeOptions::answers()
{
    QFETCH(int, style);
    QFETCH(Answer, answer);
    QCOMPARE(servingAnswer(style), answer);
}

void TestServeOptions::logLines()
{
    QString text;
    QTextStream stream(&text);
    const QDateTime at(QDate(2026, 12, 6), QTime(23, 5, 1, 20), Qt::OffsetFromUTC, 3600);
    ServeLog log(stream, [at] { return at; });
    LogPrompt prompt(log);

    QCOMPARE(prompt.message("Quit this demo?", BoxStyle::YesNo, "OPEN_COM Error Code: 2"),
             Answer::No);
    prompt.message("File Extension Error !!!\r\nPlease open with .CNV File Extension",
                   BoxStyle::Critical, "/srv/a.txt");

    const QString stamp = "2026-12-06T23:05:01.020+01:00 telvioxd-serve: ";
    QCOMPARE(text.split('\n'),
             (QStringList{
                 stamp + "OPEN_COM Error Code: 2: Quit this demo? [answered No]",
                 stamp + "/srv/a.txt: File Extension Error !!! / Please open with .CNV File "
                         "Extension",
                 QString(),
             }));
}

QTEST_GUILESS_MAIN(TestServeOptions)
#include "tst_serveoptions.moc"
