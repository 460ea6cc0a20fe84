// The item log (CSV rows per tick), the log lines on stderr and the status
// field, on a served simulated line with virtual time.

#include "core/scripttext.h"
#include "monitor/itemcsvlogger.h"
#include "monitor/lineeventlog.h"
#include "monitor/linestatus.h"
#include "monitor/monitorrig.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace telviox;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

class TestMonitorLogging : public QObject
{
    Q_OBJECT

private slots:
    void itemLogHasARowPerTick()
    {
        test::MonitorRig rig;
        rig.configure(0, 1);
        rig.configure(2, 0x20); // silent: its item shows the failure as it does
        ItemCsvLogger logger(rig.diagnostics(), rig.items);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("items.csv"));
        QVERIFY(logger.start(path));
        QSignalSpy ticks(&rig.diagnostics(), &LineDiagnostics::tickFinished);
        rig.start();
        QByteArray expected = "Time,Text1,Text2\n";
        for (int n = 0; n < 3; ++n) {
            rig.tick();
            // What the row holds is what the items held when the tick ended.
            const QDateTime time = ticks.last().first().toDateTime();
            expected +=
                scripttext::csvRow({scripttext::isoTimeStamp(time), rig.items.texts[1].trimmed(),
                                    rig.items.texts[2].trimmed()})
                    .toUtf8() +
                '\n';
            // Every row is in the file before the next tick.
            QCOMPARE(readAll(path), expected);
        }
        QVERIFY(expected.contains("2026-12-06T22:00:0"));
        QVERIFY(rig.items.texts[1].contains(QStringLiteral("1.500")));
        QCOMPARE(logger.rowsWritten(), qint64(3));

        // Stopped, the file stays as it was.
        logger.stop();
        rig.tick();
        QCOMPARE(readAll(path), expected);
        QVERIFY(rig.prompt.problems().isEmpty());
    }

    void itemLogNewHeaderWhenTheItemsChange()
    {
        test::MonitorRig rig;
        rig.configure(0, 1);
        ItemCsvLogger logger(rig.diagnostics(), rig.items);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("items.csv"));
        QVERIFY(logger.start(path));
        rig.start();
        rig.tick();
        rig.cycle.form5quitCmd_Click();
        rig.configure(1, 2);
        rig.start();
        rig.tick();
        const QList<QByteArray> lines = readAll(path).split('\n');
        QCOMPARE(lines.size(), 5); // two headers, two rows, the last line end
        QCOMPARE(lines.at(0), QByteArray("Time,Text1"));
        QCOMPARE(lines.at(2), QByteArray("Time,Text1,Text2"));
        QCOMPARE(lines.at(3).count(','), 2);
    }

    void itemLogWriteFailureStopsAndIsReportedOnce()
    {
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full to fail the writes");
        test::MonitorRig rig;
        rig.configure(0, 1);
        ItemCsvLogger logger(rig.diagnostics(), rig.items);
        QSignalSpy failed(&logger, &ItemCsvLogger::failed);
        QSignalSpy changed(&logger, &ItemCsvLogger::loggingChanged);
        QVERIFY(logger.start(QStringLiteral("/dev/full")));
        rig.start();
        rig.tick();
        rig.tick();
        QCOMPARE(failed.size(), 1);
        QVERIFY(failed.first().first().toString().startsWith(
            QStringLiteral("The item log /dev/full could not be written: ")));
        QVERIFY(!logger.isLogging());
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed.last().first().toBool(), false);
        QCOMPARE(logger.rowsWritten(), qint64(0));
    }

    void itemLogFileThatCannotBeMadeIsReported()
    {
        test::MonitorRig rig;
        ItemCsvLogger logger(rig.diagnostics(), rig.items);
        QTemporaryDir dir;
        test::QueueDialogs dialogs;
        const QString path = dir.filePath(QStringLiteral("missing/items.csv"));
        dialogs.answers << path;
        QVERIFY(!logItemsToCsv(logger, dialogs, rig.prompt));
        QCOMPARE(rig.prompt.shown().size(), 1);
        QVERIFY(rig.prompt.shown().first().text.startsWith(
            QStringLiteral("The item log %1 cannot be written: ").arg(path)));
        QVERIFY(!logger.isLogging());
    }

    void eventLogHasALinePerChange()
    {
        test::MonitorRig rig;
        QStringList lines;
        LineEventLog log(rig.diagnostics(), rig.link, rig.clock, QStringLiteral("telvioxd"),
                         [&lines](const QString &line) { lines << line; });
        rig.configure(0, 1);
        rig.configure(1, 0x20);
        rig.start();
        rig.tick();
        rig.tick();
        rig.tick();
        // The good item says nothing; the silent one once, not once per tick.
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.at(0).contains(QRegularExpression(QStringLiteral(
                     "^2026-12-06T22:00:0\\d\\.\\d{3}\\+00:00 telvioxd: Text2 \\(2026 at 20\\): "
                     "Error in Module: 2026  Error Code:  15    Time Out !$"))),
                 qPrintable(lines.at(0)));

        // The module answers again.
        rig.state.Conv[1].Address = 2;
        rig.tick();
        rig.tick();
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines.at(1).endsWith(QStringLiteral(" telvioxd: Text2 (2026 at 02): recovered")),
                 qPrintable(lines.at(1)));

        // The adapter is pulled out and plugged in again: one line each.
        rig.unplugged = true;
        rig.tick();
        rig.tick();
        rig.unplugged = false;
        rig.tick();
        rig.tick();
        const QStringList device = lines.filter(QStringLiteral(": COM1: "));
        QCOMPARE(device.size(), 2);
        QVERIFY2(device.at(0).endsWith(QStringLiteral("telvioxd: COM1: device /dev/ttyS0 lost")),
                 qPrintable(device.at(0)));
        QVERIFY2(device.at(1).endsWith(QStringLiteral("telvioxd: COM1: reconnected to /dev/ttyS0")),
                 qPrintable(device.at(1)));
        // Both items failed while the adapter was out and recovered after it.
        QCOMPARE(lines.filter(QStringLiteral("Error in Module")).size(), 3);
        QCOMPARE(lines.filter(QStringLiteral("recovered")).size(), 3);
    }

    void statusField_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("baud");
        QTest::addColumn<QDateTime>("tick");
        QTest::addColumn<QString>("text");
        const QDateTime tick(QDate(2026, 12, 6), QTime(22, 14, 3, 512), Qt::UTC);
        QTest::newRow("open, ticking")
            << QStringLiteral("/work/x/ports/com1") << 9600 << tick
            << QStringLiteral("COM1 /work/x/ports/com1 9600 baud last tick 22:14:03.512");
        QTest::newRow("before the first tick")
            << QStringLiteral("/dev/ttyS0") << 19200 << QDateTime()
            << QStringLiteral("COM1 /dev/ttyS0 19200 baud");
        QTest::newRow("closed") << QString() << 0 << tick
                                << QStringLiteral("COM1 closed last tick 22:14:03.512");
    }
    void statusField()
    {
        QFETCH(QString, device);
        QFETCH(int, baud);
        QFETCH(QDateTime, tick);
        QFETCH(QString, text);
        QCOMPARE(lineStatusText(1, device, baud, tick), text);
    }
};

QTEST_GUILESS_MAIN(TestMonitorLogging)
#include "tst_monitorlogging.moc"
