#pragma once

#include "conversations/conversationfiles.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Conversation lists as text (JSON or CSV), for reading, editing and keeping
// under version control. The text carries every field the binary pair holds,
// so that a pair written out and read back gives the same bytes. The schema is
// described in docs/conversation-text.md.
namespace telviox::cnvtext {

enum class Format { Json, Csv };

QByteArray exportList(const ConversationPair &pair, Format format);

// One thing wrong with a list: which entry ("conversation 3", "interval",
// "entry 2", "CNV file"), which field of it, and what.
struct Problem
{
    QString entry;
    QString field;
    QString message;

    QString text() const;
    bool operator==(const Problem &other) const
    {
        return entry == other.entry && field == other.field && message == other.message;
    }
};

struct ImportResult
{
    ConversationPair pair;
    QList<Problem> problems; // empty: the pair may be written
};

// Reads a list (JSON when its first non-blank character is "{", else CSV) and
// checks it as checkTables does.
ImportResult importList(const QByteArray &text);

// What an import refuses in tables: fields the program would not have written
// or cannot serve (unknown model, address, rate, channels the model does not
// have, slot, texts that do not fit the companion record, the interval).
QList<Problem> checkTables(const ConvTable &conv, const LinkTable &link);

// checkTables on a pair's bytes, and what the reader would quietly pass over:
// files of the wrong length and companion texts that reach past their record.
QList<Problem> checkFiles(const QByteArray &cnvBytes, const QByteArray &companionBytes);

} // namespace telviox::cnvtext
