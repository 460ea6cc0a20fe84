#pragma once

#include "core/prompt.h"
#include "server/serverinterfaces.h"

#include <QDateTime>
#include <QString>
#include <QTextStream>
#include <functional>

namespace telviox {

// The headless server's one voice: lines on stderr, each with the local
// time (ISO 8601, milliseconds, offset) and the program's name.
class ServeLog
{
public:
    using Now = std::function<QDateTime()>;

    explicit ServeLog(QTextStream &stream, Now now = {});

    void write(const QString &text);

private:
    QTextStream &m_stream;
    Now m_now;
};

// The answer an operator gives who wants the serving to go on: the port
// error's "Quit this demo?" is answered No (the link then keeps trying the
// port), Continue rather than Try Again, Ignore rather than Abort, Cancel
// rather than Retry; a box with OK gets OK.
Answer servingAnswer(int style);

// Boxes as log lines ("title: text"), answered by servingAnswer(); beeps
// are dropped.
class LogPrompt final : public Prompt
{
public:
    explicit LogPrompt(ServeLog &log) : m_log(log) {}

    Answer message(const QString &text, int style, const QString &title) override;
    void beep() override {}

private:
    ServeLog &m_log;
};

} // namespace telviox
