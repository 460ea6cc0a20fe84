// The main window and the program's start as the operator meets them,
// offscreen, on virtual time, with every message box answered by script.

#include "core/moduleerror.h"
#include "app/shell/configfile.h"
#include "app/shellrig.h"
#include "app/windows/mainwindow.h"
#include "app/windows/programstart.h"
#include "app/windows/programtray.h"
#include "app/windows/splashwindow.h"
#include "monitor/linemonitor.h"
#include "conversations/windows/establishwindow.h"
#include "device/catalogue.h"
#include "server/ddeprogramitems.h"
#include "server/ddetestbus.h"
#include "server/pollcycle.h"
#include "server/windows/serverwindow.h"
#include "support/scriptedprompt.h"

#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <array>
#include <tuple>

using namespace telviox;
using namespace Qt::StringLiterals;

namespace {

// The start-up probe's first try, 00 at 921600, finds an answer.
const QByteArray Line = R"({"wireTime": true, "modules": [
    {"name": "2026", "address": 1, "baud": 9600, "inputs": [21.5]},
    {"name": "2026", "address": "00", "baud": 921600, "inputs": [0]}]})";
const QByteArray Silent = R"({"wireTime": true, "modules": []})";
const QString Question = QStringLiteral("To exit Telvioxd ?");

QCheckBox *checkBox(MainWindow &window, int index)
{
    return window.establishWindow().findChild<QCheckBox *>(QStringLiteral("Check1(%1)").arg(index));
}

void trigger(MainWindow &window, const char *menuItem)
{
    window.menuItem(QLatin1String(menuItem))->trigger();
}

struct Rig
{
    explicit Rig(QList<int> ports = {1}, int absentCostMs = 0, const QByteArray &line = Line)
        : simLine(test::loadLine(line)),
          link(clock,
               test::lineOnPorts(*simLine, clock, ports, absentCostMs,
                                 [this] { configWhenPortClosed = config(); }),
               home.path())
    {}
    ProgramServices services(const QDBusConnection &bus = QDBusConnection::sessionBus())
    {
        return ProgramServices{state, prompt, dialogs, clock, link, home.path(), bus};
    }
    // The main window as the start leaves it, without the splash and probe.
    std::unique_ptr<MainWindow>
    loadWindow(const QDBusConnection &bus = QDBusConnection::sessionBus())
    {
        auto window = std::make_unique<MainWindow>(services(bus));
        window->show();
        window->MDIForm_Load();
        return window;
    }
    // Ticks conversation `index`: channel 0 of the thermocouple at `address`.
    void tick(MainWindow &window, int index, qint16 address)
    {
        checkBox(window, index)->setChecked(true);
        state.Conv[std::size_t(index)] =
            ConvRecord{1, catalogue::typeCodeOfName(QStringLiteral("2026")), 9600, address, 0, 1};
    }
    // Auto-run ticked, the server running on COM1.
    std::unique_ptr<MainWindow> runningWindow()
    {
        auto window = loadWindow();
        trigger(*window, "mnuAuto");
        tick(*window, 0, 1);
        trigger(*window, "mnuRunDDE");
        return window;
    }
    void writeConfig(const QByteArray &line) const { test::writeFile(path("lumvex.cfg"), line); }
    QByteArray config() const { return test::readFile(path("lumvex.cfg")); }
    QString path(const QString &name) const { return QDir(home.path()).filePath(name); }

    QTemporaryDir home;
    VirtualClock clock;
    std::unique_ptr<sim::SimLine> simLine;
    // Written when the link closes a port, also while the link goes away.
    QByteArray configWhenPortClosed;
    SerialLink link;
    SharedState state;
    test::ScriptedPrompt prompt;
    test::ScriptedDialogs dialogs;
};

#define VERIFY_PROMPTS(rig)                                                                        \
    QVERIFY2((rig).prompt.problems().isEmpty(), qPrintable((rig).prompt.problems().join('\n')))

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString reason;
        if (!m_bus.start(&reason))
            QSKIP(qPrintable(reason));
    }

    void moduleErrorLines_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("line");
        const auto row = [](const char *tag, int code, const char *line) {
            QTest::newRow(tag) << code << QString::fromLatin1(line);
        };
        row("time-out", 15, "Error in Module: 2026  Error Code:  15    Time Out !");
        // Success and undescribed codes: the number only.
        row("zero", 0, "Error in Module: 2026  Error Code:  0");
        row("beyond the table", 23, "Error in Module: 2026  Error Code:  23");
        row("undescribed in the table", 14,
            "Error in Module: 2026  Error Code:  14    Error Code 14 !");
        // The counter codes have two blanks before their text, the others four.
        row("counter number", 21,
            "Error in Module: 2026  Error Code:  21  Invalidate Counter No !");
    }

    void moduleErrorLines()
    {
        QFETCH(int, code);
        QTEST(moduleErrorLine(QStringLiteral("2026"), qint16(code)), "line");
    }

    void startUp_data()
    {
        QTest::addColumn<QByteArray>("config"); // empty: no file
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QList<int>>("ports"); // where the line is
        QTest::addColumn<int>("absentCostMs"); // what opening any other port takes
        QTest::addColumn<QByteArray>("taken"); // the options as the exit would write them
        QTest::addColumn<int>("probeMs");      // how long the probe took
        const auto row = [](const char *tag, const QByteArray &config, const QByteArray &line,
                            QList<int> ports, int cost, const QByteArray &taken, int probeMs) {
            QTest::newRow(tag) << config << line << ports << cost << taken << probeMs;
        };
        // A probe that ends within its one-second budget keeps the splash up
        // three seconds; one that used more closes it at once.
        row("no file, nothing answers: all 220 tried", "", Line, {}, 2, "1,16,0,0\n", 440);
        row("file names COM3, budget used", "3,0,1,0\n", Line, {}, 7, "3,0,1,0\n", 1001);
        row("malformed file, exactly the budget", "3;0;1;0\n", Line, {}, 8, "1,16,0,0\n", 1008);
        row("first attempt waits its time-out", "", Silent, {1, 2}, 0, "1,16,0,0\n", 1001);
        row("answer on COM2 after all of COM1", "", Line, {2}, 4, "2,16,0,0\n", 444);
    }

    void startUp()
    {
        QFETCH(QByteArray, config);
        QFETCH(QList<int>, ports);
        QFETCH(int, absentCostMs);
        QFETCH(QByteArray, line);
        Rig rig(ports, absentCostMs, line);
        if (!config.isEmpty())
            rig.writeConfig(config);
        else
            rig.prompt.expect(QStringLiteral("File Not exist !!!") + rig.path("lumvex.cfg"),
                              BoxStyle::Ok, QStringLiteral("Telvioxd"), Answer::Ok);
        if (config.contains(';'))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("lumvex\\.cfg"));

        qint64 waited = 0;
        ProgramStart start(rig.services(), [&](qint64 ms) {
            waited += ms;
            rig.clock.advance(ms);
        });
        bool splashSeen = false;
        connect(&start, &ProgramStart::splashShown, this,
                [&] { splashSeen = start.splash() && start.splash()->isVisible(); });
        const auto window = start.run();
        VERIFY_PROMPTS(rig);
        QVERIFY(splashSeen && !start.splash());
        QFETCH(int, probeMs);
        QCOMPARE(rig.clock.tickCount() - waited, probeMs);
        QCOMPARE(waited, probeMs > 1000 ? 0 : 3000 - probeMs);
        QVERIFY(!rig.link.isOpen(1) && !rig.link.isOpen(2));
        QTEST(formatConfiguration(configurationOf(rig.state)), "taken");
        QVERIFY(window->isVisible() && window->establishWindow().isVisible());
        QCOMPARE(rig.config(),
                 config.isEmpty() ? QByteArray("(missing)") : config); // never written
    }

    void exitQuestionBothWays()
    {
        Rig rig;
        rig.writeConfig("1,16,0,1 and a tail that must go\n");
        const auto window = rig.runningWindow();
        QSignalSpy ended(window.get(), &MainWindow::programEnded);

        rig.prompt.expect(Question, 0x24, QStringLiteral("TELVIOXD"), Answer::No);
        trigger(*window, "mnuExit");
        VERIFY_PROMPTS(rig);
        QVERIFY(window->isVisible() && window->serverHost().serverWindow() && rig.link.isOpen(1));
        QCOMPARE(rig.config(), QByteArray("1,16,0,1 and a tail that must go\n"));
        QCOMPARE(ended.count(), 0);

        // Yes, from the tray menu: the server stops (its port closes on the old
        // file), then the options replace the file.
        rig.state.SearchBauds = searchBaudsOfMask(0x81);
        rig.prompt.expect(Question, 0x24, QStringLiteral("TELVIOXD"), Answer::Yes);
        trigger(*window, "mnuExitDDE");
        VERIFY_PROMPTS(rig);
        QCOMPARE(ended.count(), 1);
        QVERIFY(!window->isVisible() && !window->serverHost().serverWindow());
        QVERIFY(!rig.state.ServerRunning && !rig.link.isOpen(1) && !window->tray().isShown());
        QCOMPARE(rig.configWhenPortClosed, QByteArray("1,16,0,1 and a tail that must go\n"));
        QCOMPARE(rig.config(), QByteArray("1,129,0,1\n"));
    }

    void searchSettingsReachTheConfigurationFile()
    {
        Rig rig;
        rig.writeConfig("1,16,0,0\n");
        const auto window = rig.loadWindow();
        // The modal dialog: COM3, 9600 alone, checksum modules too.
        QTimer::singleShot(0, window.get(), [] {
            QWidget *dialog = QApplication::activeModalWidget();
            QVERIFY(dialog && dialog->objectName() == QLatin1String("frmConfig"));
            dialog->findChild<QComboBox *>("Combo1")->setCurrentIndex(2);
            dialog->findChild<QPushButton *>("Command4")->click();
            dialog->findChild<QCheckBox *>("baudrateCheck(7)")->click();
            dialog->findChild<QRadioButton *>("Option1(1)")->click();
            dialog->findChild<QPushButton *>("okCmd")->click();
        });
        trigger(*window, "mnuCOMPort");
        QCOMPARE(rig.state.ComPort, qint16(3));
        rig.prompt.expect(Question, 0x24, QStringLiteral("TELVIOXD"), Answer::Yes);
        trigger(*window, "mnuExit");
        VERIFY_PROMPTS(rig);
        QCOMPARE(rig.config(), QByteArray("3,128,1,0\n"));
    }

    void reportWindowsOpenFromTheMenus()
    {
        Rig rig;
        const auto window = rig.loadWindow();
        trigger(*window, "mnuSearchResult");
        trigger(*window, "munsupport");
        trigger(*window, "mnuConvResult");
        for (const char *name : {"Form9", "frmModule", "Form4"}) {
            auto *shown = window->findChild<QWidget *>(name);
            QVERIFY2(shown && shown->isVisible() && shown->isWindow(), name);
            // Closed, it is gone: the next command opens it afresh.
            shown->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!window->findChild<QWidget *>(name));
        }
    }

    void lineMonitorAndStatusField()
    {
        Rig rig;
        const auto window = rig.runningWindow();
        rig.clock.setWallTime(QDateTime(QDate(2026, 12, 6), QTime(22, 14, 3, 512), Qt::UTC));
        window->pollCycle().Timer1_Timer();
        const QString field = window->findChild<QLabel *>("Panel2")->text();
        QVERIFY2(field.startsWith(QStringLiteral("COM1 ")), qPrintable(field));
        QVERIFY2(field.contains(QRegularExpression(
                     QStringLiteral(" 9600 baud last tick 22:14:0\\d\\.\\d{3}$"))),
                 qPrintable(field));

        trigger(*window, "mnuLineMonitor");
        auto *monitor = window->findChild<QWidget *>("frmLineMonitor");
        QVERIFY(monitor && monitor->isVisible() && monitor->isWindow());
        // The traffic from before the window was opened is there.
        window->lineMonitor().traffic().refresh();
        QVERIFY(window->lineMonitor().traffic().rowCount() > 0);
        // Closed, it is only hidden; the command shows the same window again.
        monitor->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(window->findChild<QWidget *>("frmLineMonitor"), monitor);
        QVERIFY(!monitor->isVisible());
        trigger(*window, "mnuLineMonitor");
        QVERIFY(monitor->isVisible());
        VERIFY_PROMPTS(rig);
    }

    void systemCloseAsksNothingAndSavesNothing()
    {
        Rig rig;
        rig.writeConfig("1,16,0,0\n");
        const auto window = rig.runningWindow();
        rig.state.SearchBauds = searchBaudsOfMask(0x7FF);
        QSignalSpy ended(window.get(), &MainWindow::programEnded);
        window->endBySystem();
        QVERIFY(rig.prompt.shown().isEmpty());
        QCOMPARE(ended.count(), 1);
        QVERIFY(!window->isVisible() && !rig.state.ServerRunning && !rig.link.isOpen(1));
        QCOMPARE(rig.config(), QByteArray("1,16,0,0\n"));
    }

    void failedConfigurationWriteIsReported()
    {
        Rig rig;
        const auto window = rig.loadWindow();
        // A folder where the file should be: it cannot be replaced.
        QVERIFY(QDir(rig.home.path()).mkdir(QStringLiteral("lumvex.cfg")));
        QSignalSpy ended(window.get(), &MainWindow::programEnded);
        rig.prompt.expect(Question, 0x24, QStringLiteral("TELVIOXD"), Answer::Yes);
        trigger(*window, "mnuExit");
        // Then the report, naming the file and why it failed.
        QCOMPARE(rig.prompt.shown().size(), 2);
        const auto &report = rig.prompt.shown().at(1);
        QCOMPARE(report.style, 0x10);
        QCOMPARE(report.title, QStringLiteral("Telvioxd"));
        const QString named = ProgramExit::writeFailure(rig.path("lumvex.cfg"), QString());
        QVERIFY2(report.text.startsWith(named) && report.text.size() > named.size(),
                 qPrintable(report.text));
        QCOMPARE(ended.count(), 1);
        QVERIFY(!window->isVisible());
    }

    void trayFallbackWithoutANotificationArea()
    {
        Rig rig;
        const auto window = rig.loadWindow();
        QVERIFY(!window->tray().available()); // offscreen: none
        auto *fallback = window->findChild<QMenu *>(QStringLiteral("mnuTray"));
        QVERIFY(fallback && window->menuBar()->actions().contains(fallback->menuAction()));
        QCOMPARE(fallback->actions(), window->trayMenu()->actions());
        // Minimising must not hide the window where no icon could bring it back.
        window->showMinimized();
        QTest::qWait(0);
        QVERIFY(window->isVisible());
        trigger(*window, "mnutelvioxD");
        QVERIFY(!window->isMinimized());
    }

    // Cancel clears the tick; OK is taken in the end-to-end case below.
    void cancelledSettingDialogClearsTheTick()
    {
        Rig rig;
        const auto window = rig.loadWindow();
        QString seen;
        // Drives the modal dialog once it is up; the tick waits for it.
        QTimer driver;
        driver.setInterval(0);
        connect(&driver, &QTimer::timeout, this, [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            if (!dialog || dialog->objectName() != QLatin1String("Form2"))
                return;
            driver.stop();
            seen = dialog->windowTitle();
            rig.prompt.expect(QStringLiteral("To quit setting ?"), 0x24, seen, Answer::Yes);
            dialog->findChild<QPushButton *>(QStringLiteral("form2CancelCmd"))->click();
        });
        driver.start();
        QTest::mouseClick(checkBox(*window, 3), Qt::LeftButton);
        driver.stop();
        VERIFY_PROMPTS(rig);
        QCOMPARE(seen, QStringLiteral("Setting 2000 Module Configuration"));
        QCOMPARE(rig.state.CurConv, 3);
        QCOMPARE(checkBox(*window, 3)->isChecked(), false);
        QCOMPARE(rig.state.Conv[3].InUse, qint16(0));
    }

    // Three conversations made through the windows, saved, opened again and
    // served: an RTD input (its one-box channel dialog), an eight-channel
    // input (CH:0) and an analog output (its panel's read-back choice) whose
    // value OK reads back.
    void conversationsByHandAreSavedAndServed()
    {
        const QByteArray line = R"({"modules": [
            {"name": "2027", "address": "01", "range": "22", "inputs": [21.5]},
            {"name": "2091", "address": "1A", "range": "08", "inputs": [1.25, 2.0]},
            {"name": "2011", "address": "03", "range": "32", "outputs": [4.5]}]})";
        Rig rig({1}, 0, line);
        const auto window = rig.loadWindow();
        struct Step
        {
            const char *type;
            const char *address;
        };
        const std::array<Step, 3> steps{{{"2027/D", "1"}, {"2091", "1a"}, {"2011", "3"}}};
        std::size_t step = 0;
        QTimer driver;
        driver.setInterval(0);
        // A timer does not fire again while its own handler runs, so the
        // channel dialog and panel that open inside the setting dialog have
        // their own.
        QTimer channelDriver;
        channelDriver.setInterval(0);
        connect(&channelDriver, &QTimer::timeout, this, [] {
            QWidget *dialog = QApplication::activeModalWidget();
            if (dialog && dialog->objectName() == QLatin1String("frm2011")) {
                // The fixed value, read back from the module by OK.
                dialog->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
                return;
            }
            if (!dialog || dialog->objectName() != QLatin1String("Form3"))
                return;
            QTest::mouseClick(dialog->findChild<QCheckBox *>(QStringLiteral("form3channelCheck(0)")),
                              Qt::LeftButton);
            dialog->findChild<QPushButton *>(QStringLiteral("form3okCommand"))->click();
        });
        channelDriver.start();
        connect(&driver, &QTimer::timeout, this, [&] {
            QWidget *dialog = QApplication::activeModalWidget();
            if (!dialog || dialog->objectName() != QLatin1String("Form2")
                || dialog->property("driven").toBool())
                return;
            dialog->setProperty("driven", true);
            auto *type = dialog->findChild<QComboBox *>(QStringLiteral("form2typeCombo"));
            const int entry =
                int(catalogue::settingList().indexOf(QLatin1String(steps[step].type)));
            type->setCurrentIndex(entry);
            emit type->activated(entry);
            QTest::keyClicks(dialog->findChild<QLineEdit *>(QStringLiteral("form2addressText")),
                             QLatin1String(steps[step].address));
            dialog->findChild<QPushButton *>(QStringLiteral("form2okCmd"))->click();
        });
        driver.start();
        for (; step < steps.size(); ++step)
            QTest::mouseClick(checkBox(*window, int(step)), Qt::LeftButton);
        driver.stop();
        channelDriver.stop();
        VERIFY_PROMPTS(rig);
        QCOMPARE(rig.state.Conv[1].Channels, qint16(0x80));
        QCOMPARE(rig.state.Conv[1].Address, qint16(0x1A));
        QCOMPARE(rig.state.Conv[2].OutValue, 4.5f);

        const QString list = rig.path("byhand.cnv");
        rig.dialogs.answers = {list, list};
        trigger(*window, "mnuSave");
        const std::array<ConvRecord, ConvCount> saved = rig.state.Conv;
        rig.state = SharedState{};
        for (int n = 0; n < 3; ++n)
            window->establishWindow().setChecked(n, false);
        trigger(*window, "mnuOpen");
        for (int n = 0; n < 3; ++n) {
            QVERIFY(checkBox(*window, n)->isChecked());
            const ConvRecord &a = rig.state.Conv[std::size_t(n)];
            const ConvRecord &b = saved[std::size_t(n)];
            QVERIFY(std::tie(a.InUse, a.TypeCode, a.BaudRate, a.Address, a.Checksum, a.Channels,
                             a.IoType, a.OutData, a.OutValue, a.Slot) ==
                    std::tie(b.InUse, b.TypeCode, b.BaudRate, b.Address, b.Checksum, b.Channels,
                             b.IoType, b.OutData, b.OutValue, b.Slot));
        }

        trigger(*window, "mnuRunDDE");
        QCOMPARE(rig.state.ServerRunning, 1);
        window->pollCycle().Timer1_Timer();
        VERIFY_PROMPTS(rig);
        QCOMPARE(window->items().text(1).trimmed(), QStringLiteral("21.500"));
        QCOMPARE(window->items().text(2).trimmed(), QStringLiteral("+1.250"));
        QCOMPARE(window->items().text(3).trimmed(), QStringLiteral("+4.500"));
    }

    void runDdeNeedsATickAndNoBus()
    {
        Rig rig;
        const auto window = rig.loadWindow(QDBusConnection(QStringLiteral("telviox-no-bus")));
        rig.prompt.expect(QStringLiteral("Please establishing the Conversation firstly !!!"), 0x10,
                          QString(), Answer::Ok);
        trigger(*window, "mnuRunDDE");
        VERIFY_PROMPTS(rig);
        QCOMPARE(rig.state.ServerRunning, 0);
        QVERIFY(!window->serverHost().serverWindow());

        // Without a session bus the server still runs, for no client.
        rig.tick(*window, 0, 1);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("DDE service TELVIOXD is not available"));
        trigger(*window, "mnuRunDDE");
        QCOMPARE(rig.state.ServerRunning, 1);
        // No search while the server runs.
        QVERIFY(!window->menuItem(QStringLiteral("mnuSearch"))->isEnabled());
    }

    void publishesAsTheIniAsks()
    {
        // A good [http] runs beside a faulty [mqtt]: the fault is told in the
        // status line, with no box, and the pages follow the items.
        Rig rig;
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        test::writeFile(rig.path(u"telvioxd.ini"_s),
                        u"[http]\nlisten=%1\n[mqtt]\nbroker=plant:x\n"_s.arg(port).toUtf8());
        auto window = rig.loadWindow();
        QVERIFY2(window->statusText().contains(u"[mqtt] broker: bad port \"x\""_s),
                 qPrintable(window->statusText()));
        VERIFY_PROMPTS(rig);
        window->items().FillText(2, u"12.5"_s);

        QNetworkAccessManager manager;
        QNetworkReply *reply =
            manager.get(QNetworkRequest(QUrl(u"http://127.0.0.1:%1/items/Text2"_s.arg(port))));
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(reply->isFinished() || finished.wait(30000));
        QCOMPARE(reply->readAll(), "12.5"_ba);
        delete reply;

        // Gone with the items.
        window.reset();
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(!socket.waitForConnected(30000));
    }

private:
    test::TestBus m_bus;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
