// The line monitor window offscreen: its controls by name act on the traffic
// table, the item log starts and stops from its button, closing hides it.

#include "monitor/linemonitor.h"
#include "monitor/monitorrig.h"
#include "monitor/windows/linemonitorwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace telviox;

namespace {

template <typename T> T *child(QWidget &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

struct WindowRig
{
    WindowRig()
        : monitor(rig.link, rig.clock, rig.diagnostics(), rig.items),
          window(monitor, dialogs, rig.prompt)
    {
        monitor.traffic().setRefreshInterval(0);
        monitor.diagnostics().setRefreshInterval(0);
        rig.configure(0, 1);
        rig.configure(1, 0x20);
        rig.start();
        window.show();
    }
    void tick()
    {
        rig.tick();
        QCoreApplication::processEvents(); // the table takes the tick's lines
    }
    QTableView &traffic() { return *child<QTableView>(window, "trafficView"); }
    int rows() { return traffic().model()->rowCount(); }
    QString frame(int row)
    {
        return traffic().model()->index(row, TrafficModel::Frame).data().toString();
    }

    test::MonitorRig rig;
    test::QueueDialogs dialogs;
    LineMonitor monitor;
    LineMonitorWindow window;
};

} // namespace

class TestLineMonitorWindow : public QObject
{
    Q_OBJECT

private slots:
    void controlsActOnTheTraffic()
    {
        WindowRig w;
        QCOMPARE(w.window.objectName(), QStringLiteral("frmLineMonitor"));
        QVERIFY(!w.window.isModal());
        w.tick();
        w.tick();
        // Two exchanges per tick: the good 01 and the silent 20.
        QCOMPARE(w.rows(), 8);
        QCOMPARE(w.frame(0), QStringLiteral("#01<CR>"));
        // Failed exchanges stand out.
        const QModelIndex failed = w.traffic().model()->index(2, 0);
        QCOMPARE(w.frame(2), QStringLiteral("#20<CR>"));
        QVERIFY(failed.data(Qt::BackgroundRole).isValid());
        QVERIFY(!w.traffic().model()->index(0, 0).data(Qt::BackgroundRole).isValid());

        child<QLineEdit>(w.window, "addressFilter")->setText(QStringLiteral("20"));
        QCOMPARE(w.rows(), 4);
        child<QLineEdit>(w.window, "addressFilter")->clear();
        child<QCheckBox>(w.window, "errorsOnly")->setChecked(true);
        QCOMPARE(w.rows(), 4);
        child<QCheckBox>(w.window, "errorsOnly")->setChecked(false);
        QCOMPARE(w.rows(), 8);

        auto *pause = child<QPushButton>(w.window, "pauseButton");
        pause->click();
        w.tick();
        QCOMPARE(w.rows(), 8);
        QVERIFY2(child<QLabel>(w.window, "trafficCount")->text().contains(QStringLiteral("4 new")),
                 qPrintable(child<QLabel>(w.window, "trafficCount")->text()));
        pause->click();
        QCOMPARE(w.rows(), 12);

        child<QPushButton>(w.window, "clearButton")->click();
        QCOMPARE(w.rows(), 0);
        w.tick();
        QCOMPARE(w.rows(), 4);

        // The statistics beside it: a row per served item, the silent one bad.
        QAbstractItemModel *diagnostics = child<QTableView>(w.window, "diagnosticsView")->model();
        QCOMPARE(diagnostics->rowCount(), 2);
        QCOMPARE(diagnostics->index(1, DiagnosticsModel::Quality).data().toString(),
                 QStringLiteral("bad"));
        QCOMPARE(diagnostics->index(1, DiagnosticsModel::Timeouts).data().toString(),
                 QStringLiteral("4"));
        QVERIFY(diagnostics->index(1, 0).data(Qt::BackgroundRole).isValid());
        QVERIFY(w.rig.prompt.problems().isEmpty());
    }

    void saveAndItemLogFromTheButtons()
    {
        WindowRig w;
        w.tick();
        QTemporaryDir dir;
        const QString saved = dir.filePath(QStringLiteral("traffic.csv"));
        w.dialogs.answers << saved;
        child<QPushButton>(w.window, "saveButton")->click();
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count('\n'), 5);

        auto *log = child<QPushButton>(w.window, "logButton");
        QCOMPARE(log->text(), QStringLiteral("&Log items to CSV…"));
        const QString items = dir.filePath(QStringLiteral("items.csv"));
        w.dialogs.answers << items;
        log->click();
        QCOMPARE(log->text(), QStringLiteral("Stop &logging"));
        w.tick();
        w.tick();
        log->click();
        QCOMPARE(log->text(), QStringLiteral("&Log items to CSV…"));
        w.tick();
        QFile logged(items);
        QVERIFY(logged.open(QIODevice::ReadOnly));
        QCOMPARE(logged.readAll().count('\n'), 3);
        QVERIFY(w.rig.prompt.problems().isEmpty());
    }

    void failedItemLogIsReportedAfterTheTick()
    {
        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full to fail the writes");
        WindowRig w;
        w.rig.prompt.expect(
            QStringLiteral("The item log /dev/full could not be written: No space left on device. "
                           "Logging stopped."),
            BoxStyle::Exclamation, QStringLiteral("Line Monitor"), Answer::Ok);
        w.dialogs.answers << QStringLiteral("/dev/full");
        child<QPushButton>(w.window, "logButton")->click();
        w.rig.tick();
        QVERIFY(w.rig.prompt.shown().isEmpty()); // not in the middle of the tick
        QCoreApplication::processEvents();
        QVERIFY2(w.rig.prompt.problems().isEmpty(), qPrintable(w.rig.prompt.problems().join('\n')));
        QCOMPARE(child<QPushButton>(w.window, "logButton")->text(),
                 QStringLiteral("&Log items to CSV…"));
    }
};

QTEST_MAIN(TestLineMonitorWindow)
#include "tst_linemonitorwindow.moc"
