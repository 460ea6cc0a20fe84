#pragma once

#include "server/serverinterfaces.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>

class QLabel;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class QPushButton;

namespace telviox {

class DdeProgramItems;
class PollCycle;

// The server window ("Form5", "DDE Conversation Channel"): its text boxes
// Text1..Text32 show the published items. What a tick writes and what a client
// pokes both arrive through the items and show here; what the operator types
// into a box is published in turn.
class ServerWindow : public QWidget
{
    Q_OBJECT

public:
    ServerWindow(DdeProgramItems &items, PollCycle &cycle, QWidget *parent = nullptr);
    ~ServerWindow() override;

    static constexpr int BoxCount = 32;
    // "1st:", "2nd:", "3rd :", "4th:" .. "32th:" for positions 1..32.
    static QString labelCaption(int position);

    // Text1..Text32 for positions 1..32; null otherwise.
    QLineEdit *textBox(int position) const;

private:
    void showItem(const QString &item, const QString &text);

    DdeProgramItems &m_items;
    PollCycle &m_cycle;
    std::array<QLineEdit *, BoxCount> m_boxes{};
    QPushButton *m_quit = nullptr;
};

// The windows around the server as the poll cycle sees them. Loads the server
// window on demand, as an MDI child of the given area or as a window of its
// own, and reports its close, activation and resizing to the poll cycle.
//
// Loading the window clears the items and publishes them on D-Bus; unloading
// withdraws them, so clients find the service exactly while the server runs.
class ServerWindowHost : public QObject, public ServerView
{
    Q_OBJECT

public:
    // area may be null: the window is then a top-level window.
    explicit ServerWindowHost(DdeProgramItems &items, QMdiArea *area = nullptr,
                              QObject *parent = nullptr);
    ~ServerWindowHost() override;

    // Must be set before the cycle runs its start (the cycle is built on this
    // view, so it cannot be a constructor argument).
    void setPollCycle(PollCycle *cycle);
    // The main window's "&Search" and "&Run DDE" commands.
    void setMenusEnabledHandler(std::function<void(bool)> handler);
    // Minimises the main window (start hidden); the server window is
    // minimised here.
    void setMinimiseMainWindowHandler(std::function<void()> handler);

    // Null while the server window is not loaded.
    ServerWindow *serverWindow() const { return m_window; }
    // The window's frame: its MDI sub-window, or the window itself.
    QWidget *frame() const;

    // ServerView
    void showServerWindow() override;
    void unloadServerWindow() override;
    void restoreServerWindow() override;
    void hideServerWindow() override;
    void minimiseWindows() override;
    void setServerMenusEnabled(bool enabled) override;
    void processEvents() override;

signals:
    // The service could not be published (the bus is missing, or another
    // program holds the name); the window works on without clients.
    void publishFailed(const QString &reason);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void load();
    void place();
    void detach();

    DdeProgramItems &m_items;
    QPointer<QMdiArea> m_area;
    PollCycle *m_cycle = nullptr;
    std::function<void(bool)> m_menusEnabled;
    std::function<void()> m_minimiseMain;
    QPointer<ServerWindow> m_window;
    QPointer<QMdiSubWindow> m_subWindow;
    bool m_placed = false;
};

} // namespace telviox
