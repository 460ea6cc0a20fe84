#pragma once

#include <QWidget>

class QTextBrowser;

namespace telviox {

// Shows the help file that ships beside the program; F1 and "&OnLine Help"
// open it.
class HelpWindow : public QWidget
{
    Q_OBJECT

public:
    explicit HelpWindow(QWidget *parent = nullptr);

    // Loads the file; a missing file shows where it was looked for.
    void load(const QString &path);
    QString source() const { return m_path; }
    QTextBrowser *browser() const { return m_browser; }

private:
    QTextBrowser *m_browser;
    QString m_path;
};

} // namespace telviox
