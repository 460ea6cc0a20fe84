#pragma once

#include "search/searchengine.h"

#include <QDialog>

class QAction;
class QLabel;
class QListWidget;
class QProgressBar;
class QToolBar;

namespace telviox {

// The search window ("frmSearch"): searches the line as soon as it opens and
// lists every module found. Its toolbar starts, stops and leaves the search;
// the close box asks first. The search itself is SearchEngine's.
class SearchWindow final : public QDialog, public SearchView
{
    Q_OBJECT

public:
    SearchWindow(const SearchContext &context, QWidget *parent = nullptr);
    ~SearchWindow() override;

    SearchEngine &engine() { return m_engine; }
    // Toolbar1's buttons by index 1..4; null otherwise.
    QAction *toolbarButton(int index) const;

    // The open search window, if any: the settings command and the program's
    // end stop its search.
    static SearchWindow *current();

    // SearchView
    void addModuleLine(const QString &line) override;
    void setCaption(const QString &caption) override;
    void clearModuleList() override;
    void setComLabel(const QString &text) override;
    void setBaudLabel(const QString &text) override;
    void setAddressLabels(const QString &decimal, const QString &hexadecimal) override;
    void setLabelsRed(bool red) override;
    void setProgress(int address) override;
    void setProgressVisible(bool visible) override;
    void setHintText(const QString &text) override;
    void processEvents() override;
    void closeWindow() override;

public slots:
    // The close box and Escape: the question decides.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    SearchEngine m_engine;
    QToolBar *m_toolbar = nullptr;
    QListWidget *m_list = nullptr;
    QLabel *m_com = nullptr;
    QLabel *m_baud = nullptr;
    QLabel *m_decimal = nullptr;
    QLabel *m_hexadecimal = nullptr;
    QLabel *m_hint = nullptr;
    QProgressBar *m_progress = nullptr;
    bool m_activated = false;
};

// Opens the search window modally and searches; returns when it is closed.
void openSearchWindow(const SearchContext &context, QWidget *parent);

// The settings dialog is about to open: a running search stops, and an open
// search window says so.
void stopSearchForSettings(SharedState &state);

// The program ends: a running search stops and its window closes.
void endSearchWindow();

} // namespace telviox
