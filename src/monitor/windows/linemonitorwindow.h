#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace telviox {

class FileDialogs;
class LineMonitor;
class Prompt;

// The line monitor ("frmLineMonitor"): the traffic on the line with failed
// exchanges highlighted, its filters, pause, clear and save, the item log,
// and beside it the served items' quality and statistics. Not modal; closing
// only hides it, the traffic goes on being recorded.
class LineMonitorWindow final : public QWidget
{
    Q_OBJECT

public:
    LineMonitorWindow(LineMonitor &monitor, FileDialogs &dialogs, Prompt &prompt,
                      QWidget *parent = nullptr);

private:
    void updateCount();
    void updateLogButton(bool logging);
    void logClicked();

    LineMonitor &m_monitor;
    FileDialogs &m_dialogs;
    Prompt &m_prompt;
    QLineEdit *m_address = nullptr;
    QCheckBox *m_errorsOnly = nullptr;
    QPushButton *m_pause = nullptr;
    QPushButton *m_log = nullptr;
    QLabel *m_count = nullptr;
    QTableView *m_traffic = nullptr;
    QTableView *m_diagnostics = nullptr;
    bool m_followEnd = true;
};

} // namespace telviox
