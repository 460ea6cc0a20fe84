#pragma once

#include "search/configdecoder.h"
#include "search/searchcontext.h"

#include <QString>

namespace telviox {

// What the search asks of its window. The window implements it; tests record it.
class SearchView : public ModuleListSink
{
public:
    virtual void setCaption(const QString &caption) = 0;
    virtual void clearModuleList() = 0;
    // The status labels: comLabel, baudrateLabel, decaddressLabel, hexaddressLabel.
    virtual void setComLabel(const QString &text) = 0;
    virtual void setBaudLabel(const QString &text) = 0;
    virtual void setAddressLabels(const QString &decimal, const QString &hexadecimal) = 0;
    // Red while a search runs, black when it completed.
    virtual void setLabelsRed(bool red) = 0;
    virtual void setProgress(int address) = 0;
    virtual void setProgressVisible(bool visible) = 0;
    // The hint label under the list (Label10).
    virtual void setHintText(const QString &text) = 0;
    // Lets the user interface process pending events; stop requests arrive here.
    virtual void processEvents() = 0;
    // Unloads the window without asking anything.
    virtual void closeWindow() = 0;
};

// The search window's logic: walks the addresses and the chosen rates with
// the read-name command, stores and lists every module that answers and has
// its configuration decoded, and answers the window's buttons.
class SearchEngine
{
public:
    SearchEngine(const SearchContext &context, SearchView &view);

    static QString searchingCaption()
    {
        return QStringLiteral("Searching For Q-2000/9000 Module...");
    }
    static QString completedCaption()
    {
        return QStringLiteral("The Found Out Q-2000/9000 module ...");
    }
    static QString loadedCaption() { return QStringLiteral("Searching the connected module..."); }
    static QString stoppedCaption() { return QStringLiteral("Searching the connected module ..."); }
    static QString settingsCaption() { return QStringLiteral("The Found Out Q-2000 module ..."); }
    static QString hintText()
    {
        return QStringLiteral("In Searching, Press Right Button of Mouse To Stop !");
    }

    // The window's load and activation; activation starts the search.
    void Form_Load();
    void Form_Activate();

    // Runs one whole search; returns when it is complete or stopped.
    void StartSearch();
    bool searching() const;

    // Toolbar buttons by index: 2 start, 3 stop, 4 exit; 1 does nothing.
    void Toolbar1_ButtonClick(int index);
    // The window's close box: true when the window may close.
    bool Form_QueryUnload();
    // The settings dialog is about to open: stop and say so.
    void stopForSettings();
    // The program is ending: stop and unload the window.
    void stopAndUnload();

private:
    void runSearch();
    bool stopRequested();

    SearchContext m_context;
    SearchView &m_view;
    ConfigDecoder m_decoder;
    bool m_unloadRequested = false;
    bool m_running = false;
    bool m_restart = false;
};

} // namespace telviox
