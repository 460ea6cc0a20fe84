#pragma once

#include <QWidget>

class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace telviox {

// The supported modules window ("frmModule"): the stand-alone models and the
// feature text of the one the operator picks. It sends and changes nothing.
class ModuleWindow final : public QWidget
{
    Q_OBJECT

public:
    explicit ModuleWindow(QWidget *parent = nullptr);

    // The mouse released over the list: the selected model's text.
    void List1_MouseUp();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void showText(const QString &text);

    QListWidget *m_list = nullptr;
    QPlainTextEdit *m_text = nullptr;
    QPushButton *m_toggle = nullptr;
};

} // namespace telviox
