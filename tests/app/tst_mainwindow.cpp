// The main window and the program's start as the operator meets them:
// menus, start-up with and without a configuration file, auto-run, the
// exit question, the file commands, the tray, help and about. Offscreen, on
// virtual time, with every message box answered by script.

#include "app/shell/configfile.h"
#include "app/shellrig.h"
#include "app/windows/aboutbox.h"
#include "app/windows/helpwindow.h"
#include "app/windows/mainwindow.h"
#include "app/windows/programstart.h"
#include "app/windows/programtray.h"
#include "app/windows/splashwindow.h"
#include "conversations/conversationcommands.h"
#include "conversations/conversationfiles.h"
#include "conversations/windows/establishwindow.h"
#include "device/catalogue.h"
#include "server/ddeprogramitems.h"
#include "server/ddetestbus.h"
#include "server/pollcycle.h"
#include "server/windows/serverwindow.h"
#include "support/scriptedprompt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>
#include <memory>

using namespace telviox;
using telviox::test::ScriptedDialogs;
using telviox::test::ScriptedPrompt;

namespace {

const QByteArray DemoLine = R"({"modules": [
    {"name": "2026", "address": 1, "baud": 9600, "inputs": [21.5]},
    {"name": "2091", "address": 2, "baud": 9600, "inputs": [1.5, -0.25]},
    {"name": "2026", "address": "00", "baud": 921600, "inputs": [0]}
]})";
// The same line without the module the start-up probe finds.
const QByteArray QuietLine = R"({"modules": [
    {"name": "2026", "address": 1, "baud": 9600, "inputs": [21.5]},
    {"name": "2091", "address": 2, "baud": 9600, "inputs": [1.5, -0.25]}
]})";

const QString Question = QStringLiteral("To exit Telvioxd ?");

// A program folder, a simulated line on the given ports and virtual time.
struct Rig
{
    explicit Rig(QList<int> ports = {1}, const QByteArray &line = QuietLine)
        : simLine(test::loadLine(line)),
          link(clock, test::lineOnPorts(*simLine, clock, ports), home.path())
    {}

    ProgramServices services(const QDBusConnection &bus = QDBusConnection::sessionBus())
    {
        return ProgramServices{state, prompt, dialogs, clock, link, home.path(), bus};
    }

    // A main window as the start leaves it, without the splash and probe.
    std::unique_ptr<MainWindow>
    loadWindow(const QDBusConnection &bus = QDBusConnection::sessionBus())
    {
        auto window = std::make_unique<MainWindow>(services(bus));
        window->show();
        window->MDIForm_Load();
        return window;
    }

    void writeConfig(const QByteArray &line) const
    {
        QFile file(configFilePath(home.path()));
        if (!file.open(QIODevice::WriteOnly) || file.write(line) != line.size())
            qFatal("cannot write the configuration");
    }
    QByteArray config() const
    {
        QFile file(configFilePath(home.path()));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    }
    QString path(const QString &name) const { return QDir(home.path()).filePath(name); }

    // Conversation 0 reads the thermocouple at 01, conversation 2 channel 0
    // of the eight-channel input at 02; link entry 5 names another server.
    static std::pair<ConvTable, LinkTable> demoTables(int interval = 500)
    {
        ConvTable conv{};
        LinkTable links{};
        conv[0] = ConvRecord{1, catalogue::typeCodeOfName(QStringLiteral("2026")), 9600, 1, 0, 1};
        conv[2] =
            ConvRecord{1, catalogue::typeCodeOfName(QStringLiteral("2091")), 9600, 2, 0, 0x80};
        links[5] = LinkRecord{QStringLiteral("OTHER"), QStringLiteral("Sheet1"),
                              QStringLiteral("R1C1"), 1};
        links[IntervalEntry] =
            LinkRecord{QStringLiteral("Timer Interval"), {}, {}, qint16(interval)};
        return {conv, links};
    }
    void writeDefaultPair() const
    {
        const auto [conv, links] = demoTables();
        const WriteOutcome written =
            writePair(path("default.cnv"), encodeCnv(conv), path("default.dde"),
                      encodeCompanion(links).value_or(QByteArray()));
        if (!written.ok)
            qFatal("cannot write the demo pair: %s", qPrintable(written.error));
    }

    QTemporaryDir home;
    VirtualClock clock;
    std::unique_ptr<sim::SimLine> simLine;
    SerialLink link;
    SharedState state;
    ScriptedPrompt prompt;
    ScriptedDialogs dialogs;
};

QCheckBox *checkBox(MainWindow &window, int index)
{
    return window.establishWindow().findChild<QCheckBox *>(QStringLiteral("Check1(%1)").arg(index));
}

#define VERIFY_PROMPTS(rig)                                                                        \
    QVERIFY2((rig).prompt.problems().isEmpty(), qPrintable((rig).prompt.problems().join('\n')))

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void menusCarryTheirNamesCaptionsAndStates_data();
    void menusCarryTheirNamesCaptionsAndStates();
    void startUp_data();
    void startUp();
    void autoRunServesTheDefaultList();
    void exitQuestionBothWays();
    void systemCloseAsksNothingAndKeepsTheConfiguration();
    void runDdeWithNothingTicked();
    void openAndSaveThroughTheDialogs();
    void trayCommandsStayReachableWithoutANotificationArea();
    void moduleErrorsReachTheStatusLine();
    void unreachableBusIsReportedAndTheServerRuns();
    void quitAfterAPortErrorEndsAtOnce();
    void helpAndAbout();

private:
    test::TestBus m_bus;
};

void TestMainWindow::initTestCase()
{
    QString reason;
    if (!m_bus.start(&reason))
        QSKIP(qPrintable(reason));
}

// ---------------------------------------------------------------------------

void TestMainWindow::menusCarryTheirNamesCaptionsAndStates_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("menu"); // object name of the menu holding it; "" the menu bar
    QTest::addColumn<bool>("enabled");

    const auto row = [](const char *name, const char *caption, const char *menu, bool enabled) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(caption)
                            << QString::fromLatin1(menu) << enabled;
    };
    row("mnuFile", "&File", "", true);
    row("mnuOpen", "&Open", "mnuFile", true);
    row("mnuSave", "&Save", "mnuFile", true);
    row("mnuAuto", "&Auto Run Default.cnv", "mnuFile", true);
    row("mnuExit", "E&xit", "mnuFile", true);
    row("mnuCOMPort", "&COM Port", "", false);
    row("mnuSearch", "&Search", "", false);
    row("mnuRunDDE", "&Run DDE", "", true);
    row("mnuDisplay", "&Display", "", true);
    row("mnuConvResult", "Conv Setting Result", "mnuDisplay", false);
    row("mnuSearchResult", "Search Result", "mnuDisplay", false);
    row("mun2help", "&Help", "", true);
    row("munhelp", "&OnLine Help", "mun2help", true);
    row("munsupport", "&Module Supported", "mun2help", false);
    row("munAbout", "&About", "mun2help", true);
    row("mnutelvioxD", "Open &TELVIOXD", "mnuMain", true);
    row("mnuDDE", "Open &DDE Windows", "mnuMain", true);
    row("mnustopDDE", "&Stop DDE Server", "mnuMain", true);
    row("mnuRun", "&Run DDE", "mnuMain", true);
    row("mnuAboutDDE", "&About", "mnuMain", true);
    row("mnuExitDDE", "E&xit TELVIOXD", "mnuMain", true);
}

void TestMainWindow::menusCarryTheirNamesCaptionsAndStates()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, menu);
    QFETCH(bool, enabled);

    Rig rig;
    auto window = rig.loadWindow();
    QAction *action = window->menuItem(name);
    QVERIFY(action);
    QCOMPARE(action->objectName(), name);
    QCOMPARE(action->text(), caption);
    QCOMPARE(action->isEnabled(), enabled);
    if (menu.isEmpty()) {
        QVERIFY(window->menuBar()->actions().contains(action));
    } else {
        QMenu *holder = window->findChild<QMenu *>(menu);
        QVERIFY(holder);
        QVERIFY(holder->actions().contains(action));
    }
    // The tray's menu is never on the menu bar itself.
    QCOMPARE(window->trayMenu()->objectName(), QStringLiteral("mnuMain"));
    QCOMPARE(window->trayMenu()->title(), QStringLiteral("popupmain"));
    QVERIFY(!window->menuBar()->actions().contains(window->trayMenu()->menuAction()));
    QVERIFY(window->menuItem(QStringLiteral("mnuAuto"))->isCheckable());
    QVERIFY(window->menuItem(QStringLiteral("mnuBreak"))->isSeparator());
    QVERIFY(window->menuItem(QStringLiteral("mnu002"))->isSeparator());
    QVERIFY(window->menuItem(QStringLiteral("mnu003"))->isSeparator());
    QVERIFY(window->menuItem(QStringLiteral("numLine"))->isSeparator());
    VERIFY_PROMPTS(rig);
}

// ---------------------------------------------------------------------------

void TestMainWindow::startUp_data()
{
    QTest::addColumn<QByteArray>("config"); // empty: no file
    QTest::addColumn<QList<int>>("ports");  // where the simulated line is
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("checksum");
    QTest::addColumn<bool>("warned");
    QTest::addColumn<qint64>("splashMs"); // the virtual time the start took

    // Nothing answers: the probe tries everything at once and the splash
    // stays its three seconds.
    QTest::newRow("no file, no port")
        << QByteArray() << QList<int>{} << 1 << 16 << 0 << false << qint64(3000);
    QTest::newRow("file names COM3")
        << QByteArray("3,0,1,0\n") << QList<int>{} << 3 << 0 << 1 << false << qint64(3000);
    QTest::newRow("unreadable file")
        << QByteArray("3;0;1;0\n") << QList<int>{} << 1 << 16 << 0 << true << qint64(3000);
    // A module answers at once on COM2, which the missing file leaves.
    QTest::newRow("answer on COM2, no file")
        << QByteArray() << QList<int>{2} << 2 << 16 << 0 << false << qint64(3000);
}

void TestMainWindow::startUp()
{
    QFETCH(QByteArray, config);
    QFETCH(QList<int>, ports);

    Rig rig(ports, DemoLine);
    if (!config.isEmpty())
        rig.writeConfig(config);
    else
        rig.prompt.expect(QStringLiteral("File Not exist !!!") + rig.path("lumvex.cfg"),
                          BoxStyle::Ok, QStringLiteral("TELVIOXD"), Answer::Ok);
    QFETCH(bool, warned);
    if (warned)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("lumvex\\.cfg"));

    ProgramStart start(rig.services(), [&](qint64 ms) { rig.clock.advance(ms); });
    bool splashSeen = false;
    connect(&start, &ProgramStart::splashShown, this, [&] {
        splashSeen = start.splash() && start.splash()->isVisible() &&
                     start.splash()->objectName() == QLatin1String("frmSplash") &&
                     start.splash()->windowTitle() == QLatin1String("TELVIOXD Software");
    });
    const auto window = start.run();
    QVERIFY(window);
    VERIFY_PROMPTS(rig);
    QVERIFY(splashSeen);
    QVERIFY(!start.splash());
    QTEST(rig.clock.tickCount(), "splashMs");

    QTEST(int(rig.state.ComPort), "port");
    QTEST(int(rig.state.SearchBaudMask), "mask");
    QTEST(int(rig.state.SearchChecksum), "checksum");
    QCOMPARE(rig.state.SearchBauds, searchBaudsOfMask(rig.state.SearchBaudMask));
    QCOMPARE(rig.state.AutoRun, 0);
    QVERIFY(!window->menuItem(QStringLiteral("mnuAuto"))->isChecked());

    // The main window is up with the Establish Conversation window in it,
    // which shows the port in use.
    QVERIFY(window->isVisible());
    QCOMPARE(window->objectName(), QStringLiteral("MDIForm1"));
    QCOMPARE(window->windowTitle(), QStringLiteral("TELVIOXD"));
    QCOMPARE(window->mdiArea()->subWindowList().size(), 1);
    QCOMPARE(window->mdiArea()->subWindowList().first()->widget(), &window->establishWindow());
    QVERIFY(window->establishWindow().isVisible());
    auto *combo = window->establishWindow().findChild<QComboBox *>(QStringLiteral("form1comCombo"));
    QCOMPARE(combo->currentText(), QStringLiteral("COM%1").arg(rig.state.ComPort));
    QCOMPARE(rig.state.ServerRunning, 0);
    QCOMPARE(rig.state.Link[IntervalEntry].Service, QStringLiteral("Timer Interval"));
    QCOMPARE(rig.state.Link[IntervalEntry].Linked, qint16(IntervalInitial));
    QVERIFY(rig.prompt.beeps() >= 1);
    // Reading never writes.
    if (config.isEmpty())
        QVERIFY(!QFile::exists(rig.path("lumvex.cfg")));
    else
        QCOMPARE(rig.config(), config);
}

void TestMainWindow::autoRunServesTheDefaultList()
{
    Rig rig;
    rig.writeConfig("1,16,0,1\n");
    rig.writeDefaultPair();
    ProgramStart start(rig.services(), [&](qint64 ms) { rig.clock.advance(ms); });
    const auto window = start.run();
    VERIFY_PROMPTS(rig);

    QVERIFY(window->menuItem(QStringLiteral("mnuAuto"))->isChecked());
    QCOMPARE(window->windowTitle(), QStringLiteral("Working file:") + rig.path("default.cnv"));
    for (int i = 0; i < ConvCount; ++i)
        QCOMPARE(checkBox(*window, i)->isChecked(), i == 0 || i == 2);
    QCOMPARE(rig.state.ServerRunning, 1);
    QCOMPARE(rig.state.PollInterval, 500);
    QVERIFY(window->serverHost().serverWindow());
    QVERIFY(!window->menuItem(QStringLiteral("mnuRunDDE"))->isEnabled());
    // The loaded links are served as saved: the window's own start must not
    // wipe what auto-run loaded.
    QCOMPARE(rig.state.Link[5].Linked, qint16(1));
    QCOMPARE(rig.state.Link[5].Service, QStringLiteral("OTHER"));
    // Started hidden: the first resize of the server window took the flag.
    QTRY_COMPARE(rig.state.StartHidden, 0);

    window->pollCycle().Timer1_Timer();
    QCOMPARE(window->items().text(1).trimmed(), QStringLiteral("21.500"));
    QVERIFY(window->items().text(2).trimmed().startsWith(QStringLiteral("+1.500")));
    QCOMPARE(window->items().text(3), QString());
    QVERIFY(window->items().isPublished());
}

// ---------------------------------------------------------------------------

void TestMainWindow::exitQuestionBothWays()
{
    Rig rig;
    rig.writeConfig("1,16,0,1\n");
    rig.writeDefaultPair();
    const auto window = rig.loadWindow();
    QVERIFY(rig.state.AutoRun == 0); // the file was not read: auto-run is the menu's
    window->menuItem(QStringLiteral("mnuAuto"))->trigger();
    QCOMPARE(rig.state.AutoRun, 1);
    checkBox(*window, 0)->setChecked(true);
    rig.state.Conv[0] = Rig::demoTables().first[0];
    window->menuItem(QStringLiteral("mnuRunDDE"))->trigger();
    QCOMPARE(rig.state.ServerRunning, 1);
    QSignalSpy ended(window.get(), &MainWindow::programEnded);

    // No: everything keeps running.
    rig.prompt.expect(Question, 0x24, QStringLiteral("TELVIOXD"), Answer::No);
    window->menuItem(QStringLiteral("mnuExit"))->trigger();
    VERIFY_PROMPTS(rig);
    QVERIFY(window->isVisible());
    QCOMPARE(rig.state.ServerRunning, 1);
    QVERIFY(window->serverHost().serverWindow());
    QVERIFY(rig.link.isOpen(1));
    QCOMPARE(rig.config(), QByteArray("1,16,0,1\n"));
    QCOMPARE(ended.count(), 0);

    // Yes from the tray menu: the server stops, the options are written.
    rig.state.ComPort = 1;
    rig.state.SearchBauds = searchBaudsOfMask(0x81);
    rig.state.SearchChecksum = 1;
    rig.prompt.expect(Question, 0x24, QStringLiteral("TELVIOXD"), Answer::Yes);
    window->menuItem(QStringLiteral("mnuExitDDE"))->trigger();
    VERIFY_PROMPTS(rig);
    QCOMPARE(ended.count(), 1);
    QVERIFY(!window->isVisible());
    QCOMPARE(rig.state.ServerRunning, 0);
    QVERIFY(!window->serverHost().serverWindow());
    QVERIFY(!rig.link.isOpen(1));
    QVERIFY(!window->tray().isShown());
    QCOMPARE(rig.config(), QByteArray("1,129,1,1\n"));
}

void TestMainWindow::systemCloseAsksNothingAndKeepsTheConfiguration()
{
    Rig rig;
    rig.writeConfig("1,16,0,0\n");
    const auto window = rig.loadWindow();
    checkBox(*window, 0)->setChecked(true);
    rig.state.Conv[0] = Rig::demoTables().first[0];
    rig.state.SearchBauds = searchBaudsOfMask(0x7FF);
    window->menuItem(QStringLiteral("mnuRunDDE"))->trigger();
    QSignalSpy ended(window.get(), &MainWindow::programEnded);

    window->closeBySystem();
    QVERIFY(rig.prompt.shown().isEmpty());
    QCOMPARE(ended.count(), 1);
    QVERIFY(!window->isVisible());
    // The server window went with the program; the configuration stays.
    QCOMPARE(rig.state.ServerRunning, 0);
    QVERIFY(!rig.link.isOpen(1));
    QCOMPARE(rig.config(), QByteArray("1,16,0,0\n"));
}

void TestMainWindow::runDdeWithNothingTicked()
{
    Rig rig;
    const auto window = rig.loadWindow();
    rig.prompt.expect(QStringLiteral("Please establishing the Conversation firstly !!!"), 0x10,
                      QString(), Answer::Ok);
    window->menuItem(QStringLiteral("mnuRunDDE"))->trigger();
    VERIFY_PROMPTS(rig);
    QCOMPARE(rig.state.ServerRunning, 0);
    QVERIFY(!window->serverHost().serverWindow());
}

void TestMainWindow::openAndSaveThroughTheDialogs()
{
    Rig rig;
    const auto window = rig.loadWindow();
    const auto [conv, links] = Rig::demoTables(750);
    rig.state.Conv = conv;
    rig.state.Link = links;
    const QString list = rig.path("line1.cnv");

    rig.dialogs.answer(list);
    window->menuItem(QStringLiteral("mnuSave"))->trigger();
    QCOMPARE(rig.dialogs.calls.last(), QStringLiteral("save All File|*.*|.Cnv|*.cnv 2"));
    QCOMPARE(QFileInfo(list).size(), 896);
    QCOMPARE(QFileInfo(rig.path("line1.dde")).size(), 2640);
    QCOMPARE(window->windowTitle(), QStringLiteral("TELVIOXD")); // saving names nothing

    rig.state = SharedState{};
    rig.dialogs.answer(list);
    window->menuItem(QStringLiteral("mnuOpen"))->trigger();
    QCOMPARE(rig.dialogs.calls.last(), QStringLiteral("open All File|*.*|.Cnv|*.CNV 2"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Working file:") + list);
    QCOMPARE(rig.state.Conv[2].Channels, qint16(0x80));
    QCOMPARE(rig.state.Link[5].Item, QStringLiteral("R1C1"));
    QVERIFY(checkBox(*window, 0)->isChecked() && checkBox(*window, 2)->isChecked());
    QVERIFY(!checkBox(*window, 1)->isChecked());
    QCOMPARE(window->establishWindow().intervalValue(), 750);
    QVERIFY(rig.dialogs.unexpected.isEmpty());
}

// ---------------------------------------------------------------------------

void TestMainWindow::trayCommandsStayReachableWithoutANotificationArea()
{
    Rig rig;
    const auto window = rig.loadWindow();
    ProgramTray &tray = window->tray();
    QCOMPARE(tray.icon().toolTip(), QStringLiteral("TELVIOX DDE Server"));

    // Offscreen there is no notification area: the tray's commands are on
    // the menu bar, and minimising does not hide the window.
    QVERIFY(!tray.available());
    auto *fallback = window->findChild<QMenu *>(QStringLiteral("mnuTray"));
    QVERIFY(fallback);
    QVERIFY(window->menuBar()->actions().contains(fallback->menuAction()));
    QCOMPARE(fallback->actions(), window->trayMenu()->actions());
    window->showMinimized();
    QTest::qWait(0);
    QVERIFY(window->isVisible());
    window->menuItem(QStringLiteral("mnutelvioxD"))->trigger();
    QVERIFY(!window->isMinimized());

    // Presses of either button pop the menu up; double-clicks and the
    // middle button do not.
    QSignalSpy popped(&tray, &ProgramTray::menuPoppedUp);
    tray.activate(QSystemTrayIcon::Trigger);
    tray.activate(QSystemTrayIcon::DoubleClick);
    tray.activate(QSystemTrayIcon::MiddleClick);
    tray.activate(QSystemTrayIcon::Context);
    QCOMPARE(popped.count(), 2);
    window->trayMenu()->close();

    // The tray's server commands reach the server.
    checkBox(*window, 0)->setChecked(true);
    rig.state.Conv[0] = Rig::demoTables().first[0];
    window->menuItem(QStringLiteral("mnuRun"))->trigger();
    QCOMPARE(rig.state.ServerRunning, 1);
    window->serverHost().hideServerWindow();
    window->menuItem(QStringLiteral("mnuDDE"))->trigger();
    QVERIFY(window->serverHost().serverWindow()->isVisible());
    window->menuItem(QStringLiteral("mnustopDDE"))->trigger();
    QCOMPARE(rig.state.ServerRunning, 0);
    QVERIFY(window->menuItem(QStringLiteral("mnuRunDDE"))->isEnabled());
    // The search is not there yet, so the server's stop does not enable it.
    QVERIFY(!window->menuItem(QStringLiteral("mnuSearch"))->isEnabled());
    VERIFY_PROMPTS(rig);
}

void TestMainWindow::moduleErrorsReachTheStatusLine()
{
    Rig rig;
    const auto window = rig.loadWindow();
    auto *panel = window->findChild<QLabel *>(QStringLiteral("Panel1"));
    QVERIFY(panel);
    QCOMPARE(window->statusBar()->objectName(), QStringLiteral("StatusBar1"));

    // A conversation with a module that is not on the line.
    checkBox(*window, 0)->setChecked(true);
    rig.state.Conv[0] = Rig::demoTables().first[0];
    rig.state.Conv[0].Address = 0x30;
    window->menuItem(QStringLiteral("mnuRunDDE"))->trigger();
    window->pollCycle().Timer1_Timer();
    QVERIFY(rig.prompt.problems().isEmpty());
    QCOMPARE(panel->text(), QStringLiteral("Error in Module: 2026  Error Code:  15    Time Out !"));
    QCOMPARE(window->statusText(), panel->text());
}

void TestMainWindow::unreachableBusIsReportedAndTheServerRuns()
{
    Rig rig;
    const auto window = rig.loadWindow(QDBusConnection(QStringLiteral("telviox-no-bus")));
    checkBox(*window, 0)->setChecked(true);
    rig.state.Conv[0] = Rig::demoTables().first[0];
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("DDE service TELVIOXD is not available"));
    window->menuItem(QStringLiteral("mnuRunDDE"))->trigger();
    QCOMPARE(rig.state.ServerRunning, 1);
    QVERIFY(window->statusText().startsWith(
        QStringLiteral("DDE service TELVIOXD is not available to clients")));
    window->pollCycle().Timer1_Timer();
    QCOMPARE(window->items().text(1).trimmed(), QStringLiteral("21.500"));
}

void TestMainWindow::quitAfterAPortErrorEndsAtOnce()
{
    Rig rig(QList<int>{}); // no port at all
    const auto window = rig.loadWindow();
    checkBox(*window, 0)->setChecked(true);
    rig.state.Conv[0] = Rig::demoTables().first[0];
    QSignalSpy quit(window.get(), &MainWindow::quitNowRequested);
    QSignalSpy ended(window.get(), &MainWindow::programEnded);
    rig.prompt.expect(QStringLiteral("Quit this demo?"), 4,
                      QStringLiteral("OPEN_COM Error Code: 2"), Answer::Yes);
    window->menuItem(QStringLiteral("mnuRunDDE"))->trigger();
    VERIFY_PROMPTS(rig);
    QCOMPARE(quit.count(), 1);
    QCOMPARE(rig.state.ServerRunning, 0);
    // The program is ending: closing its window asks nothing more.
    window->close();
    QVERIFY(rig.prompt.shown().size() == 1);
    QCOMPARE(ended.count(), 0);
}

void TestMainWindow::helpAndAbout()
{
    Rig rig;
    const QString source =
        qEnvironmentVariable("TELVIOXD_SOURCE") + QStringLiteral("/src/app/help/telvioxd.html");
    QVERIFY(QFile::copy(source, rig.path("telvioxd.html")));
    const auto window = rig.loadWindow();
    // No window manager activates it here.
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));

    QTest::keyClick(window.get(), Qt::Key_F1);
    QVERIFY(window->helpWindow());
    QTRY_VERIFY(window->helpWindow()->isVisible());
    QCOMPARE(window->helpWindow()->source(), rig.path("telvioxd.html"));
    QCOMPARE(window->helpWindow()->browser()->documentTitle(), QStringLiteral("TELVIOXD Help"));
    QVERIFY(window->helpWindow()->browser()->toPlainText().contains(QStringLiteral("ports/com3")));
    // The menu command opens the same window.
    HelpWindow *first = window->helpWindow();
    window->menuItem(QStringLiteral("munhelp"))->trigger();
    QCOMPARE(window->helpWindow(), first);

    window->menuItem(QStringLiteral("munAbout"))->trigger();
    AboutBox *about = window->aboutBox();
    QVERIFY(about && about->isVisible());
    QCOMPARE(about->objectName(), QStringLiteral("frmAbout"));
    QCOMPARE(about->windowTitle(), QStringLiteral("About TELVIOXD..."));
    QStringList lines;
    for (auto *label : about->findChildren<QLabel *>())
        lines << label->text();
    QCOMPARE(lines, QStringList({QStringLiteral("Product Name: TELVIOXD(DDE Server)"),
                                 QStringLiteral("EXE Name: TELVIOXD.EXE"),
                                 QStringLiteral("Version: ") + QStringLiteral(TELVIOXD_VERSION)}));
    QTest::mouseClick(about->findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
    QTRY_VERIFY(!window->aboutBox());
    window->menuItem(QStringLiteral("mnuAboutDDE"))->trigger();
    QVERIFY(window->aboutBox() && window->aboutBox()->isVisible());
    VERIFY_PROMPTS(rig);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
