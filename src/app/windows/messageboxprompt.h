#pragma once

#include "core/prompt.h"

#include <QList>
#include <QPointer>
#include <QString>

class QMessageBox;
class QWidget;

namespace telviox {

// The program's message boxes and beeps. A box takes the style's icon and
// buttons; its buttons carry object names ("buttonYes", "buttonTryAgain", ...)
// so that window tests can find them. An empty title becomes the program's
// title.
class MessageBoxPrompt final : public Prompt
{
public:
    // parent: the window boxes are centred on; the active window when null.
    explicit MessageBoxPrompt(QWidget *parent = nullptr);

    Answer message(const QString &text, int style, const QString &title) override;
    void beep() override;

    // The program is being ended: open boxes close and answer Cancel, and
    // every later message answers Cancel at once without a box.
    void dismissAll();

    // Builds the box a message would show, without showing it.
    static void setUp(QMessageBox &box, const QString &text, int style, const QString &title);
    static Answer answerOf(const QMessageBox &box);

private:
    QWidget *m_parent;
    QList<QPointer<QMessageBox>> m_open;
    bool m_dismissed = false;
};

} // namespace telviox
