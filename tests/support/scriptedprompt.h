#pragma once

#include "core/prompt.h"

#include <QList>
#include <QStringList>

namespace telviox::test {

// A Prompt that tests script: each expected message is answered in order; a
// message nobody expected is recorded in unexpected() and answered Cancel/No.
class ScriptedPrompt final : public Prompt
{
public:
    struct Message
    {
        QString text;
        int style = 0;
        QString title;
    };

    void expect(const QString &text, int style, const QString &title, Answer answer)
    {
        m_script.append({{text, style, title}, answer});
    }

    Answer message(const QString &text, int style, const QString &title) override
    {
        m_shown.append({text, style, title});
        if (m_script.isEmpty()) {
            m_unexpected << QStringLiteral("unexpected message \"%1\" style 0x%2 title \"%3\"")
                                .arg(text).arg(style, 0, 16).arg(title);
            return fallback(style);
        }
        const auto next = m_script.takeFirst();
        if (next.message.text != text || next.message.style != style
            || next.message.title != title) {
            m_unexpected << QStringLiteral("expected \"%1\" 0x%2 \"%3\", got \"%4\" 0x%5 \"%6\"")
                                .arg(next.message.text).arg(next.message.style, 0, 16)
                                .arg(next.message.title, text).arg(style, 0, 16).arg(title);
        }
        return next.answer;
    }

    void beep() override { ++m_beeps; }

    int beeps() const { return m_beeps; }
    const QList<Message> &shown() const { return m_shown; }
    // Problems: unexpected or mismatched messages, and expected ones never shown.
    QStringList problems() const
    {
        QStringList all = m_unexpected;
        for (const auto &s : m_script)
            all << QStringLiteral("expected but not shown: \"%1\"").arg(s.message.text);
        return all;
    }
    void reset()
    {
        m_script.clear();
        m_shown.clear();
        m_unexpected.clear();
        m_beeps = 0;
    }

private:
    static Answer fallback(int style)
    {
        switch (style & BoxStyle::ButtonMask) {
        case BoxStyle::YesNo:
        case BoxStyle::YesNoCancel:
            return Answer::No;
        case BoxStyle::Ok:
            return Answer::Ok;
        default:
            return Answer::Cancel;
        }
    }

    struct Step
    {
        Message message;
        Answer answer;
    };
    QList<Step> m_script;
    QList<Message> m_shown;
    QStringList m_unexpected;
    int m_beeps = 0;
};

} // namespace telviox::test
