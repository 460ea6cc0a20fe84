#pragma once

#include <QString>

#include <optional>

namespace telviox {

// The 32 items the server publishes ("Text1".."Text32"). Setting an item's
// text is what passes the new value on to linked clients.
class ServerItems
{
public:
    virtual ~ServerItems() = default;
    // position 1..32; callers never pass anything else.
    virtual void setItemText(int position, const QString &text) = 0;
    virtual QString itemText(int position) const = 0;
};

// Where a linked output conversation takes its value from: an item of
// another server, read through the client link of the conversation's own item.
struct LinkSourceName
{
    QString service;
    QString topic;
    QString item;
};

class LinkSource
{
public:
    virtual ~LinkSource() = default;
    // Builds the client link of item `position` to the source again (it is
    // torn down and set up on every tick), waiting at most timeoutMs for the
    // source's answers. False when the source is missing or refuses the link.
    virtual bool connectItem(int position, const LinkSourceName &source, int timeoutMs) = 0;
    // Asks the linked source for its item's current text; nothing when the
    // request fails or times out.
    virtual std::optional<QString> requestItem(int position) = 0;
    // The server stops: every client link goes with its window. A source
    // that keeps nothing between requests has nothing to drop.
    virtual void disconnectAll() {}
};

// The first panel of the main window's status bar: one transient line.
class StatusLine
{
public:
    virtual ~StatusLine() = default;
    virtual void setStatusText(const QString &text) = 0;
};

// What the poll cycle asks of the windows around the server.
class ServerView
{
public:
    virtual ~ServerView() = default;
    // Shows the server window (not modal), loading it first if needed.
    virtual void showServerWindow() = 0;
    // Unloads the server window. It must not run the closing steps itself;
    // a window that reports its own close calls PollCycle::serverWindowClosed(),
    // which runs them once.
    virtual void unloadServerWindow() = 0;
    // Back to normal size and shown ("Open DDE Windows").
    virtual void restoreServerWindow() = 0;
    virtual void hideServerWindow() = 0;
    // Minimises the main window and the server window (start hidden).
    virtual void minimiseWindows() = 0;
    // The main window's "&Search" and "&Run DDE" commands.
    virtual void setServerMenusEnabled(bool enabled) = 0;
    // Lets the user interface process pending events (end of a tick).
    virtual void processEvents() = 0;
};

} // namespace telviox
