#pragma once

#include <QByteArray>
#include <QString>

// How the search names a found module and builds the left-hand part of its
// result line. The search window, the decoding and the scan command share
// these, so that the lines they print are the same.
namespace telviox::search {

// Lines kept in the found-module table and listed are this wide.
constexpr int ResultLineWidth = 80;
// The decoding's part of a line.
constexpr int RemarkWidth = 50;
// The reply buffer the search and the decoding read replies from.
constexpr int ReplyBufferSize = 80;

// "$", the address in two upper-case hexadecimal digits, and the command.
QByteArray moduleCommand(char lead, int address, const QByteArray &command);

// A reply as the fixed reply buffer holds it: cut to 80 characters and filled
// up with blanks, so that positions beyond the answer read as blanks.
QString replyBuffer(const QByteArray &reply);
// An empty reply buffer: 80 blanks.
QString blankReply();
// Characters of a reply buffer counted from 1 at the lead character.
QString replyAt(const QString &reply, int position, int count);
// Two characters read as a hexadecimal number, if they are one.
bool readHex(const QString &text, int *value);

// The name a read-name reply gives and its display form (name and one or two
// blanks), by the eighth character and the first digits of the name.
struct FoundName
{
    QString name;
    QString display;
};
FoundName nameOfReply(const QString &reply);

// "31[1F]": the address in decimal and, in brackets, hexadecimal.
QString addressText(int address);
// Display name, the address text padded to 9 characters, the rate in decimal.
QString linePrefix(const QString &displayName, int address, qint32 baud);
// The number of digits of a rate ("9600" gives 4): the decoding's columns
// are counted from it.
int rateDigits(qint32 baud);
// A text cut or padded with blanks to a width.
QString fixedWidth(const QString &text, int width);

} // namespace telviox::search
