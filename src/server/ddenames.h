#pragma once

#include <QString>

namespace telviox::DdeNames {

// How a DDE service, topic and item appear on D-Bus: service S is the bus name
// "dde." + S, topic T the object path "/" + T, and every item is a string
// property of the interface "dde.Topic" besides being reachable by the
// interface's Request and Poke methods.
inline constexpr char Interface[] = "dde.Topic";
inline constexpr char BusNamePrefix[] = "dde.";

// Error names of the dde.Topic interface.
inline constexpr char ErrorUnknownItem[] = "dde.Error.UnknownItem";

// D-Bus allows only [A-Za-z0-9_] in path elements and member names, and no
// leading digit in bus name elements or member names. Every other byte of the
// UTF-8 form, "_" itself and a leading digit become "_" and two upper-case
// hex digits, so any non-empty name maps to one valid element and back.
QString escapeName(const QString &name);
// The inverse of escapeName; a "_" not followed by two hex digits stays as is.
QString unescapeName(const QString &escaped);

// "dde." + escaped service; empty when the service cannot be a bus name
// (empty, or too long once escaped).
QString busName(const QString &service);
// The service a bus name of this scheme stands for; empty for other names.
QString serviceOfBusName(const QString &busName);
// "/" + escaped topic ("/" for the empty topic).
QString objectPath(const QString &topic);
// The escaped item; empty when the item cannot be a member name (empty, or
// too long once escaped).
QString propertyName(const QString &item);

} // namespace telviox::DdeNames
