#pragma once

#include <QString>

#include <optional>

// The texts the server publishes in its items, and the reading of a linked
// source's text. Every field carries one blank, after the value when the tick
// parity is 1 and before it when it is 0, so that an item changes on every
// tick even when its value does not.
namespace telviox::valuetext {

// An eight-channel field of a channel that is not read.
inline const QString NotSelected = QStringLiteral("       ");
// An eight-channel or counter field whose exchange failed.
inline const QString ErrorField = QStringLiteral(" Error ");

// v with at least one integer digit and exactly three decimals, halves
// rounded away from zero, a minus sign for a negative v.
QString fixed3(double v);

// Single-channel analog reading: "0.000 " / " 0.000".
QString singleChannel(float v, int parity);
// Eight-channel analog reading and analog output value: as the single-channel
// text, with a plus sign in front of a value greater than 0.
QString eightChannel(float v, int parity);
// Digital value in upper-case hexadecimal without leading zeros; a negative
// value shows its full width (four digits for 16 bits, eight for 32).
QString digital16(qint16 v, int parity);
QString digital32(qint32 v, int parity);
// Counter: nine digits with leading zeros, a minus sign before a negative count.
QString counter(qint32 count, int parity);

// A linked source's text read as a decimal number with a point: leading
// blanks skipped, reading stops at the first character that cannot continue
// the number, no number at all reads as 0.
double readNumber(const QString &text);

// Conversions of a read number into what a module is sent. Integers are
// rounded to nearest, halves to even. Nothing when the value does not fit.
std::optional<float> toSingle(double v);
std::optional<qint16> toInt16(double v);
std::optional<qint32> toInt32(double v);

} // namespace telviox::valuetext
