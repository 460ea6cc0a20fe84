#pragma once

#include "app/shell/programexit.h"
#include "conversations/establishview.h"
#include "server/serverinterfaces.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace telviox {

class AboutBox;
class Clock;
class ConversationFileCommands;
class DdeProgramItems;
class EstablishWindow;
class FileDialogs;
class HelpWindow;
class LineEventLog;
class LineMonitor;
class LineMonitorWindow;
class PollCycle;
class Printer;
class ProgramTray;
class Prompt;
class ModuleLibrary;
class SerialLink;
class ServerWindowHost;
class Publishing;
class ServingProgram;
struct SharedState;

// What the program runs on. The program passes the real ones; tests pass a
// scripted prompt and dialogs, virtual time, a simulated line and a bus of
// their own.
struct ProgramServices
{
    SharedState &state;
    Prompt &prompt;
    FileDialogs &dialogs;
    Clock &clock;
    SerialLink &link;
    QString folder;
    QDBusConnection bus;
};

// The main window ("MDIForm1"): the menus, the status line, the tray icon,
// and the Establish Conversation window as its child. It holds the server:
// the poll cycle, its timer, the published items and the client links.
class MainWindow final : public QMainWindow, public StatusLine, public MainWindowCaption
{
    Q_OBJECT

public:
    explicit MainWindow(const ProgramServices &services, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The main window's load: tray icon, centring, caption, the search's rate
    // flags, the interval entry and the auto-run mark; with the mark set, the
    // default conversation file is loaded and served.
    void MDIForm_Load();

    // StatusLine: the first panel of StatusBar1.
    void setStatusText(const QString &text) override;
    QString statusText() const;
    // MainWindowCaption
    void setCaption(const QString &caption) override;

    // A close the system asks for (termination signal, end of the session):
    // no question, nothing saved, the icon stays; the server window closes
    // with the program. Works from any state, also while a box the operator
    // has not answered yet is up (its answer then changes nothing).
    void endBySystem();

    // Menu items by their names ("mnuOpen", "mnutelvioxD", ...).
    QAction *menuItem(const QString &name) const;
    // The menu the tray icon pops up ("mnuMain").
    QMenu *trayMenu() const { return m_trayMenu; }
    ProgramTray &tray() const { return *m_tray; }
    // The commands of windows that are not part of the shell ("&COM Port",
    // "&Search", the result windows, "&Module Supported") stay disabled until
    // their window provides them.
    void provideCommand(const QString &menuName, std::function<void()> command);
    // What a tick of a conversation's box asks for: its setting dialog.
    void setSettingDialog(std::function<void(int index)> open);

    EstablishWindow &establishWindow() const { return *m_establish; }
    PollCycle &pollCycle() const { return *m_cycle; }
    ServerWindowHost &serverHost() const { return *m_host; }
    DdeProgramItems &items() const;
    ConversationFileCommands &fileCommands() const { return *m_files; }
    QMdiArea *mdiArea() const { return m_area; }
    HelpWindow *helpWindow() const;
    AboutBox *aboutBox() const;

    // Help and about, as F1, "&OnLine Help" and the About commands open them.
    void showHelp();
    void showAbout();
    // "Open &TELVIOXD": back to normal size, shown and in front.
    void mnutelvioxD_Click();
    // "&COM Port": the search settings dialog, modal.
    void mnuCOMPort_Click();
    Printer &printer() const { return *m_printer; }
    // "Line Monitor": the traffic and the items' quality; not modal, shown
    // again in front on every command.
    void showLineMonitor();
    LineMonitor &lineMonitor() const { return *m_monitor; }
    LineMonitorWindow *lineMonitorWindow() const;
    // The permanent status field beside the first panel: port, device, rate
    // and the time of the last tick.
    QString lineStatus() const;

signals:
    // The confirmed close has run; the program ends.
    void programEnded();
    // The operator chose to end the program after a port error: it ends at
    // once, without closing its windows.
    void quitNowRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenus();
    QAction *addItem(QMenu *menu, const char *name, const QString &caption,
                     void (MainWindow::*slot)() = nullptr);
    void addSeparator(QMenu *menu, const char *name);
    void setServerMenusEnabled(bool enabled);
    void mnuAuto_Click(bool checked);
    void showPublishFailure(const QString &reason);
    void startPublishing(const Clock &clock);
    void centre();
    void closeDown();
    void updateLineStatus();

    SharedState &m_state;
    Prompt &m_prompt;
    SerialLink &m_link;
    FileDialogs &m_dialogs;
    Clock &m_clock;
    QString m_folder;

    QMdiArea *m_area = nullptr;
    QLabel *m_panel1 = nullptr;
    QLabel *m_lineStatus = nullptr;
    QDateTime m_lastTick;
    QMenu *m_trayMenu = nullptr;
    QMenu *m_trayFallbackMenu = nullptr;
    QHash<QString, QAction *> m_menuItems;
    QHash<QString, bool> m_provided;
    EstablishWindow *m_establish = nullptr;
    QMdiSubWindow *m_establishFrame = nullptr;
    QPointer<HelpWindow> m_help;
    QPointer<AboutBox> m_about;

    // The server window's host refers to the serving program: it goes first.
    std::unique_ptr<ServingProgram> m_serving;
    std::unique_ptr<ServerWindowHost> m_host;
    // Both observe the serving program's diagnostics: they go before it.
    std::unique_ptr<LineMonitor> m_monitor;
    std::unique_ptr<LineEventLog> m_eventLog;
    QPointer<LineMonitorWindow> m_monitorWindow;
    // The items beyond the bus (telvioxd.ini); before the items go.
    std::unique_ptr<Publishing> m_publishing;
    PollCycle *m_cycle = nullptr;
    std::unique_ptr<ConversationFileCommands> m_files;
    std::unique_ptr<ProgramExit> m_exit;
    std::unique_ptr<ProgramTray> m_tray;
    std::unique_ptr<Printer> m_printer;
    std::unique_ptr<ModuleLibrary> m_library;
    std::function<void(int)> m_settingDialog;

    bool m_ended = false;
};

} // namespace telviox
