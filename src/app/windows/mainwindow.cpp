#include "app/windows/mainwindow.h"

#include "app/shell/configfile.h"
#include "core/shippedfiles.h"
#include "app/windows/aboutbox.h"
#include "app/windows/helpwindow.h"
#include "app/windows/programtray.h"
#include "app/windows/qtprinter.h"
#include "app/windows/settingdialogs.h"
#include "conversations/conversationcommands.h"
#include "conversations/conversationtable.h"
#include "conversations/windows/establishwindow.h"
#include "conversations/windows/settingsummarywindow.h"
#include "core/prompt.h"
#include "device/modulelibrary.h"
#include "device/seriallink.h"
#include "monitor/lineeventlog.h"
#include "monitor/linemonitor.h"
#include "monitor/linestatus.h"
#include "monitor/windows/linemonitorwindow.h"
#include "publish/publishing.h"
#include "search/windows/configdialog.h"
#include "search/windows/modulewindow.h"
#include "search/windows/resultwindow.h"
#include "search/windows/searchwindow.h"
#include "server/ddeprogramitems.h"
#include "server/linediagnostics.h"
#include "server/pollcycle.h"
#include "server/servingprogram.h"
#include "server/windows/serverwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QDebug>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>

namespace telviox {

namespace {

QIcon programIcon(const QString &folder, const QStyle *style)
{
    const QString path = shippedFilePath(ShippedFile::ProgramIcon, folder);
    if (QFileInfo::exists(path))
        return QIcon(path);
    return style->standardIcon(QStyle::SP_ComputerIcon);
}

// Commands of windows that other parts of the program add later.
const char *const LaterCommands[] = {"mnuCOMPort", "mnuSearch", "mnuConvResult", "mnuSearchResult",
                                     "munsupport"};

} // namespace

MainWindow::MainWindow(const ProgramServices &services, QWidget *parent)
    : QMainWindow(parent), m_state(services.state), m_prompt(services.prompt),
      m_link(services.link), m_dialogs(services.dialogs), m_clock(services.clock),
      m_folder(services.folder)
{
    setObjectName(QStringLiteral("MDIForm1"));
    setWindowTitle(ProgramFileName);
    setWindowIcon(programIcon(m_folder, style()));

    m_area = new QMdiArea(this);
    m_area->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(m_area);

    m_panel1 = new QLabel(this);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->addWidget(m_panel1, 1);
    m_lineStatus = new QLabel(this);
    m_lineStatus->setObjectName(QStringLiteral("Panel2"));
    statusBar()->addPermanentWidget(m_lineStatus);

    // The Establish Conversation window lives as long as the program; its
    // own Exit button is the way out, so its frame has no close box.
    auto establish = std::make_unique<EstablishWindow>(m_state, m_prompt);
    m_establish = establish.get();
    m_establishFrame = m_area->addSubWindow(establish.release(),
                                            Qt::SubWindow | Qt::CustomizeWindowHint |
                                                Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint);
    m_establishFrame->installEventFilter(this);
    connect(m_establish, &EstablishWindow::exitRequested, this, &QWidget::close);
    connect(m_establish, &EstablishWindow::settingDialogRequested, this, [this](int index) {
        if (m_settingDialog)
            m_settingDialog(index);
    });
    m_library = std::make_unique<ModuleLibrary>(m_link);
    m_settingDialog = [this, &clock = services.clock](int) {
        showSettingDialog({m_state, m_prompt, clock, m_link, *m_library, *m_establish,
                           m_folder},
                          this);
    };

    m_serving = std::make_unique<ServingProgram>(
        ServingProgram::Services{m_state, m_link, services.clock, m_prompt, *this}, services.bus);
    // The server window is a window of its own: it must stay reachable from
    // the tray while the main window is hidden.
    m_host = std::make_unique<ServerWindowHost>(items());
    m_cycle = &m_serving->attach(*m_establish, *m_host, [this] { emit quitNowRequested(); });
    m_host->setPollCycle(m_cycle);
    m_host->setMenusEnabledHandler([this](bool enabled) { setServerMenusEnabled(enabled); });
    m_host->setMinimiseMainWindowHandler([this] { showMinimized(); });
    connect(m_host.get(), &ServerWindowHost::publishFailed, this, &MainWindow::showPublishFailure);
    startPublishing(services.clock);

    // The traffic is recorded from the start, so that what went wrong before
    // the monitor was opened is there to see.
    LineDiagnostics &diagnostics = m_serving->diagnostics();
    m_monitor = std::make_unique<LineMonitor>(m_link, services.clock, diagnostics,
                                              m_serving->items());
    m_eventLog = std::make_unique<LineEventLog>(diagnostics, m_link, services.clock,
                                                QStringLiteral("telvioxd"));
    connect(&diagnostics, &LineDiagnostics::tickFinished, this, [this](const QDateTime &time) {
        m_lastTick = time;
        updateLineStatus();
    });
    // The port opens and closes outside the ticks (start and stop of the server).
    auto *lineStatusTimer = new QTimer(this);
    connect(lineStatusTimer, &QTimer::timeout, this, &MainWindow::updateLineStatus);
    lineStatusTimer->start(1000);
    updateLineStatus();

    m_files = std::make_unique<ConversationFileCommands>(m_state, m_prompt, services.dialogs,
                                                         *m_establish, *this,
                                                         [this] { m_cycle->mnuRun_Click(); });

    m_printer = std::make_unique<QtPrinter>(m_prompt, services.dialogs);

    buildMenus();
    Clock &clock = services.clock;
    provideCommand(QStringLiteral("mnuSearch"), [this, &clock] {
        openSearchWindow({m_state, m_link, m_serving->library(), clock, m_prompt, *this}, this);
    });
    // A search running when the program ends stops and closes its window.
    connect(this, &MainWindow::programEnded, this, [] { endSearchWindow(); });
    provideCommand(QStringLiteral("mnuCOMPort"), [this] { mnuCOMPort_Click(); });
    // These windows are shown afresh at every command and gone once closed.
    const auto showOwned = [](QWidget *window) {
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
    };
    provideCommand(QStringLiteral("mnuSearchResult"), [this, showOwned] {
        showOwned(new ResultWindow(m_state, m_prompt, *m_printer, this));
    });
    provideCommand(QStringLiteral("mnuConvResult"), [this, showOwned] {
        showOwned(new SettingSummaryWindow(m_state, m_prompt, *m_printer, this));
    });
    provideCommand(QStringLiteral("munsupport"),
                   [this, showOwned] { showOwned(new ModuleWindow(this)); });
    m_tray = std::make_unique<ProgramTray>(*m_trayMenu, windowIcon());
    m_exit = std::make_unique<ProgramExit>(
        m_state, m_prompt, m_link, m_folder,
        ProgramExit::Actions{[this] { m_cycle->form5quitCmd_Click(); },
                             [this] { m_tray->remove(); }});
    // Without a notification area the tray's commands stay on the menu bar.
    if (!m_tray->available())
        menuBar()->addMenu(m_trayFallbackMenu);

    auto *help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::ApplicationShortcut);
    connect(help, &QShortcut::activated, this, &MainWindow::showHelp);

    resize(860, 620);
}

MainWindow::~MainWindow()
{
    // The monitor's window shows the monitor's tables; the monitor and the log
    // observe the serving program; the server window refers to the cycle and
    // the items. Each goes before what it refers to.
    delete m_monitorWindow;
    m_eventLog.reset();
    m_monitor.reset();
    m_host.reset();
    m_publishing.reset();
    m_serving.reset();
}

DdeProgramItems &MainWindow::items() const
{
    return *m_serving->programItems();
}

// ---------------------------------------------------------------------------
// Menus

QAction *MainWindow::addItem(QMenu *menu, const char *name, const QString &caption,
                             void (MainWindow::*slot)())
{
    auto *action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    if (menu)
        menu->addAction(action);
    else
        menuBar()->addAction(action);
    if (slot)
        connect(action, &QAction::triggered, this, slot);
    m_menuItems.insert(action->objectName(), action);
    return action;
}

void MainWindow::addSeparator(QMenu *menu, const char *name)
{
    QAction *separator = menu->addSeparator();
    separator->setObjectName(QString::fromLatin1(name));
    m_menuItems.insert(separator->objectName(), separator);
}

void MainWindow::buildMenus()
{
    menuBar()->setObjectName(QStringLiteral("menuBar"));
    const auto topMenu = [this](const char *name, const QString &caption) {
        QMenu *menu = menuBar()->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setObjectName(QString::fromLatin1(name));
        m_menuItems.insert(menu->objectName(), menu->menuAction());
        return menu;
    };

    QMenu *file = topMenu("mnuFile", QStringLiteral("&File"));
    connect(addItem(file, "mnuOpen", QStringLiteral("&Open")), &QAction::triggered, this,
            [this] { m_files->open(); });
    connect(addItem(file, "mnuSave", QStringLiteral("&Save")), &QAction::triggered, this,
            [this] { m_files->save(); });
    QAction *autoRun = addItem(file, "mnuAuto", QStringLiteral("&Auto Run Default.cnv"));
    autoRun->setCheckable(true);
    connect(autoRun, &QAction::triggered, this, &MainWindow::mnuAuto_Click);
    addSeparator(file, "mnuBreak");
    connect(addItem(file, "mnuExit", QStringLiteral("E&xit")), &QAction::triggered, this,
            &QWidget::close);

    addItem(nullptr, "mnuCOMPort", QStringLiteral("&COM Port"));
    addItem(nullptr, "mnuSearch", QStringLiteral("&Search"));
    connect(addItem(nullptr, "mnuRunDDE", QStringLiteral("&Run DDE")), &QAction::triggered, this,
            [this] { m_cycle->mnuRunDDE_Click(); });

    QMenu *display = topMenu("mnuDisplay", QStringLiteral("&Display"));
    addItem(display, "mnuConvResult", QStringLiteral("Conv Setting Result"));
    addItem(display, "mnuSearchResult", QStringLiteral("Search Result"));
    addItem(display, "mnuLineMonitor", QStringLiteral("Line &Monitor"),
            &MainWindow::showLineMonitor);

    QMenu *help = topMenu("mun2help", QStringLiteral("&Help"));
    addItem(help, "munhelp", QStringLiteral("&OnLine Help"), &MainWindow::showHelp);
    addItem(help, "munsupport", QStringLiteral("&Module Supported"));
    addSeparator(help, "numLine");
    addItem(help, "munAbout", QStringLiteral("&About"), &MainWindow::showAbout);

    for (const char *name : LaterCommands)
        m_menuItems.value(QString::fromLatin1(name))->setEnabled(false);

    // The tray's menu: never on the menu bar, popped up by the icon.
    m_trayMenu = new QMenu(QStringLiteral("popupmain"), this);
    m_trayMenu->setObjectName(QStringLiteral("mnuMain"));
    m_menuItems.insert(m_trayMenu->objectName(), m_trayMenu->menuAction());
    addItem(m_trayMenu, "mnutelvioxD", QStringLiteral("Open &TELVIOXD"),
            &MainWindow::mnutelvioxD_Click);
    connect(addItem(m_trayMenu, "mnuDDE", QStringLiteral("Open &DDE Windows")), &QAction::triggered,
            this, [this] { m_cycle->mnuDDE_Click(); });
    addSeparator(m_trayMenu, "mnu002");
    connect(addItem(m_trayMenu, "mnustopDDE", QStringLiteral("&Stop DDE Server")),
            &QAction::triggered, this, [this] { m_cycle->mnustopDDE_Click(); });
    connect(addItem(m_trayMenu, "mnuRun", QStringLiteral("&Run DDE")), &QAction::triggered, this,
            [this] { m_cycle->mnuRun_Click(); });
    addSeparator(m_trayMenu, "mnu003");
    addItem(m_trayMenu, "mnuAboutDDE", QStringLiteral("&About"), &MainWindow::showAbout);
    connect(addItem(m_trayMenu, "mnuExitDDE", QStringLiteral("E&xit TELVIOXD")),
            &QAction::triggered, this, &QWidget::close);

    // The same commands for a desktop without a notification area.
    m_trayFallbackMenu = new QMenu(QStringLiteral("&Tray"), this);
    m_trayFallbackMenu->setObjectName(QStringLiteral("mnuTray"));
    m_trayFallbackMenu->addActions(m_trayMenu->actions());
}

QAction *MainWindow::menuItem(const QString &name) const
{
    return m_menuItems.value(name);
}

void MainWindow::provideCommand(const QString &menuName, std::function<void()> command)
{
    QAction *action = menuItem(menuName);
    if (!action)
        return;
    connect(action, &QAction::triggered, this, [command = std::move(command)] { command(); });
    m_provided.insert(menuName, true);
    // The search stays off while the server runs.
    action->setEnabled(menuName != QLatin1String("mnuSearch") || m_state.ServerRunning == 0);
}

void MainWindow::mnuCOMPort_Click()
{
    // A running search stops first; its window says so.
    stopSearchForSettings(m_state);
    ConfigDialog dialog(m_state, this);
    dialog.exec();
}

void MainWindow::setSettingDialog(std::function<void(int)> open)
{
    m_settingDialog = std::move(open);
}

void MainWindow::setServerMenusEnabled(bool enabled)
{
    m_menuItems.value(QStringLiteral("mnuRunDDE"))->setEnabled(enabled);
    m_menuItems.value(QStringLiteral("mnuSearch"))
        ->setEnabled(enabled && m_provided.value(QStringLiteral("mnuSearch")));
}

void MainWindow::mnuAuto_Click(bool checked)
{
    m_state.AutoRun = checked ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Load

void MainWindow::centre()
{
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    const QSize size = frameGeometry().size();
    move(room.x() + (room.width() - size.width()) / 2,
         room.y() + (room.height() - size.height()) / 2);
}

void MainWindow::MDIForm_Load()
{
    m_tray->add();
    centre();
    setCaption(ProgramFileName);
    m_state.ServerRunning = 0;
    m_state.SearchBauds = searchBaudsOfMask(m_state.SearchBaudMask);
    setIntervalEntry(m_state, m_establish->intervalValue());

    QAction *autoRun = menuItem(QStringLiteral("mnuAuto"));
    autoRun->setChecked(m_state.AutoRun != 0);
    if (autoRun->isChecked())
        m_files->autorun(m_folder);
}

// ---------------------------------------------------------------------------
// Status line, caption, help, about

void MainWindow::setStatusText(const QString &text)
{
    m_panel1->setText(text);
}

QString MainWindow::statusText() const
{
    return m_panel1->text();
}

void MainWindow::setCaption(const QString &caption)
{
    setWindowTitle(caption);
}

void MainWindow::showPublishFailure(const QString &reason)
{
    // The server goes on without clients; the operator must know why
    // nobody can link to it.
    const QString text =
        QStringLiteral("DDE service %1 is not available to clients: %2")
            .arg(ProgramFileName, reason.isEmpty() ? QStringLiteral("no session bus") : reason);
    qWarning().noquote() << "telvioxd:" << text;
    setStatusText(text);
}

void MainWindow::startPublishing(const Clock &clock)
{
    // MQTT and HTTP follow the items from start to end. A fault in
    // telvioxd.ini is told once and the program serves on without that
    // part: a box here would hold up an unattended start.
    m_publishing = std::make_unique<Publishing>(items(), &m_serving->diagnostics(), clock);
    connect(m_publishing.get(), &Publishing::message, this,
            [](const QString &line) { qWarning().noquote() << "telvioxd:" << line; });
    const QStringList errors = m_publishing->startFromIni(m_folder);
    for (const QString &error : errors)
        qWarning().noquote() << "telvioxd:" << error;
    if (!errors.isEmpty())
        setStatusText(errors.first());
}

HelpWindow *MainWindow::helpWindow() const
{
    return m_help;
}

AboutBox *MainWindow::aboutBox() const
{
    return m_about;
}

void MainWindow::showHelp()
{
    if (!m_help) {
        m_help = new HelpWindow(this);
        m_help->setAttribute(Qt::WA_DeleteOnClose);
        m_help->load(shippedFilePath(ShippedFile::Help, m_folder));
    }
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void MainWindow::showAbout()
{
    if (!m_about) {
        m_about = new AboutBox(this);
        m_about->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_about->open();
    m_about->raise();
    m_about->activateWindow();
}

void MainWindow::showLineMonitor()
{
    if (!m_monitorWindow)
        m_monitorWindow = new LineMonitorWindow(*m_monitor, m_dialogs, m_prompt, this);
    m_monitorWindow->show();
    m_monitorWindow->raise();
    m_monitorWindow->activateWindow();
}

LineMonitorWindow *MainWindow::lineMonitorWindow() const
{
    return m_monitorWindow;
}

void MainWindow::updateLineStatus()
{
    const int port = m_state.ComPort;
    m_lineStatus->setText(
        lineStatusText(port, m_link.devicePath(port), m_link.openBaud(port), m_lastTick));
}

QString MainWindow::lineStatus() const
{
    return m_lineStatus->text();
}

void MainWindow::mnutelvioxD_Click()
{
    showNormal();
    raise();
    activateWindow();
}

// ---------------------------------------------------------------------------
// Closing and minimising

void MainWindow::endBySystem()
{
    if (m_ended)
        return;
    m_exit->queryUnload(CloseRequest::System);
    hide();
    closeDown();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_ended) {
        event->accept();
        return;
    }
    // No, or no answer: the system ended the program while the question was up.
    if (!m_exit->queryUnload(CloseRequest::Operator)) {
        event->ignore();
        return;
    }
    event->accept();
    closeDown();
}

void MainWindow::closeDown()
{
    m_ended = true;
    // The server window goes with the program; its own closing steps run
    // (they did already when the operator's exit stopped the server).
    if (m_cycle->serverWindowLoaded())
        m_host->unloadServerWindow();
    if (m_help)
        m_help->close();
    if (m_monitorWindow)
        m_monitorWindow->close();
    emit programEnded();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized())
        return;
    // Minimised, the window leaves the screen for the tray icon; with no
    // notification area it stays an ordinary minimised window.
    if (m_tray && m_tray->available())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The Establish Conversation window is closed only with the program.
    if (watched == m_establishFrame && event->type() == QEvent::Close && !m_ended) {
        event->ignore();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace telviox
