#pragma once

#include <QByteArray>
#include <QString>

// The small text conversions the commands, replies, reports and items share.
namespace telviox::textutil {

// The upper-case hexadecimal digit of the low four bits of n.
constexpr char hexDigit(int n)
{
    return "0123456789ABCDEF"[n & 0xF];
}

// The value of one hexadecimal digit of either case; -1 for anything else.
// A char beyond ASCII widens to a code that is no digit.
constexpr int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

constexpr bool isHexDigit(char16_t c)
{
    return hexValue(c) >= 0;
}

constexpr bool isDecimalDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// value in upper-case hexadecimal, with leading zeros up to `width` digits; a
// value that needs more digits keeps them all.
inline QByteArray hexDigits(quint32 value, int width = 1)
{
    return QByteArray::number(value, 16).toUpper().rightJustified(width, '0');
}

inline QString hexString(quint32 value, int width = 1)
{
    return QString::fromLatin1(hexDigits(value, width));
}

// The low byte of value as exactly two digits: an address or a checksum in a
// command, one data byte of a reply.
inline QByteArray hexByte(quint32 value)
{
    return hexDigits(value & 0xFFu, 2);
}

// A number as plain conversion writes it into message text: one blank where
// a minus sign would stand.
inline QString plainNumber(qint64 value)
{
    const QString digits = QString::number(value);
    return value < 0 ? digits : QLatin1Char(' ') + digits;
}

// Bytes as a person reads them in a traffic log: printable ASCII as it is,
// a carriage return as "<CR>", every other byte as "<XX>" in hexadecimal.
inline QByteArray visibleBytes(const QByteArray &bytes)
{
    QByteArray text;
    text.reserve(bytes.size() + 4);
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r') {
            text += "<CR>";
        } else if (u >= 0x20 && u < 0x7F) {
            text += c;
        } else {
            text += '<';
            text += hexDigit(u >> 4);
            text += hexDigit(u);
            text += '>';
        }
    }
    return text;
}

} // namespace telviox::textutil
