#include "app/windows/messageboxprompt.h"

#include "app/shell/programexit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

namespace telviox {

namespace {

struct ButtonSpec
{
    Answer answer;
    const char *objectName;
    QMessageBox::StandardButton standard; // NoButton: a button of our own
    const char *text;                     // for our own buttons
    QMessageBox::ButtonRole role;
};

std::vector<ButtonSpec> buttonsOf(int style)
{
    using M = QMessageBox;
    switch (style & BoxStyle::ButtonMask) {
    case BoxStyle::OkCancel:
        return {{Answer::Ok, "buttonOk", M::Ok, nullptr, M::AcceptRole},
                {Answer::Cancel, "buttonCancel", M::Cancel, nullptr, M::RejectRole}};
    case BoxStyle::AbortRetryIgnore:
        return {{Answer::Abort, "buttonAbort", M::Abort, nullptr, M::RejectRole},
                {Answer::Retry, "buttonRetry", M::Retry, nullptr, M::AcceptRole},
                {Answer::Ignore, "buttonIgnore", M::Ignore, nullptr, M::AcceptRole}};
    case BoxStyle::YesNoCancel:
        return {{Answer::Yes, "buttonYes", M::Yes, nullptr, M::YesRole},
                {Answer::No, "buttonNo", M::No, nullptr, M::NoRole},
                {Answer::Cancel, "buttonCancel", M::Cancel, nullptr, M::RejectRole}};
    case BoxStyle::YesNo:
        return {{Answer::Yes, "buttonYes", M::Yes, nullptr, M::YesRole},
                {Answer::No, "buttonNo", M::No, nullptr, M::NoRole}};
    case BoxStyle::RetryCancel:
        return {{Answer::Retry, "buttonRetry", M::Retry, nullptr, M::AcceptRole},
                {Answer::Cancel, "buttonCancel", M::Cancel, nullptr, M::RejectRole}};
    case BoxStyle::CancelTryContinue:
        return {{Answer::Cancel, "buttonCancel", M::Cancel, nullptr, M::RejectRole},
                {Answer::TryAgain, "buttonTryAgain", M::NoButton, "&Try Again", M::AcceptRole},
                {Answer::Continue, "buttonContinue", M::NoButton, "&Continue", M::AcceptRole}};
    default:
        return {{Answer::Ok, "buttonOk", M::Ok, nullptr, M::AcceptRole}};
    }
}

QMessageBox::Icon iconOf(int style)
{
    switch (style & BoxStyle::IconMask) {
    case BoxStyle::Critical:
        return QMessageBox::Critical;
    case BoxStyle::Question:
        return QMessageBox::Question;
    case BoxStyle::Exclamation:
        return QMessageBox::Warning;
    case BoxStyle::Information:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

const char AnswerProperty[] = "telvioxAnswer";

// Every box the program shows, as it shows it (QT_LOGGING_RULES="telviox.boxes.info=true").
Q_LOGGING_CATEGORY(lcBoxes, "telviox.boxes", QtWarningMsg)

} // namespace

MessageBoxPrompt::MessageBoxPrompt(QWidget *parent) : m_parent(parent) {}

void MessageBoxPrompt::setUp(QMessageBox &box, const QString &text, int style, const QString &title)
{
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setWindowTitle(title.isEmpty() ? ProgramTitle : title);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    box.setIcon(iconOf(style));
    QAbstractButton *first = nullptr;
    for (const ButtonSpec &choice : buttonsOf(style)) {
        QAbstractButton *button = choice.standard != QMessageBox::NoButton
                                      ? static_cast<QAbstractButton *>(box.addButton(choice.standard))
                                      : box.addButton(QString::fromLatin1(choice.text), choice.role);
        button->setObjectName(QString::fromLatin1(choice.objectName));
        button->setProperty(AnswerProperty, int(choice.answer));
        if (!first)
            first = button;
    }
    // The first button is the default, as the styles number them.
    if (auto *push = qobject_cast<QPushButton *>(first))
        box.setDefaultButton(push);
    // The close box answers Cancel where there is one, else the last button.
    QAbstractButton *escape = nullptr;
    for (QAbstractButton *button : box.buttons()) {
        if (button->property(AnswerProperty).toInt() == int(Answer::Cancel) ||
            button->property(AnswerProperty).toInt() == int(Answer::No))
            escape = button;
    }
    box.setEscapeButton(escape ? escape : first);
}

Answer MessageBoxPrompt::answerOf(const QMessageBox &box)
{
    const QAbstractButton *clicked = box.clickedButton();
    if (!clicked)
        return Answer::Cancel;
    return Answer(clicked->property(AnswerProperty).toInt());
}

Answer MessageBoxPrompt::message(const QString &text, int style, const QString &title)
{
    if (m_dismissed)
        return Answer::Cancel;
    QMessageBox box(m_parent ? m_parent : QApplication::activeWindow());
    setUp(box, text, style, title);
    qCInfo(lcBoxes).noquote() << "box:" << text;
    m_open.append(&box);
    box.exec();
    m_open.removeAll(&box);
    return m_dismissed ? Answer::Cancel : answerOf(box);
}

void MessageBoxPrompt::dismissAll()
{
    m_dismissed = true;
    for (const QPointer<QMessageBox> &box : std::as_const(m_open)) {
        if (box)
            box->done(QDialog::Rejected);
    }
}

void MessageBoxPrompt::beep()
{
    QApplication::beep();
}

} // namespace telviox
