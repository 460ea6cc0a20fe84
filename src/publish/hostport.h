#pragma once

#include <QString>
#include <optional>

namespace telviox {

// "HOST[:PORT]" of a broker and "[ADDRESS:]PORT" of a listening socket, as
// typed on a command line or in telvioxd.ini. An IPv6 address goes in
// brackets when a port follows it: "[::1]:1883".
struct HostPort
{
    QString host;            // empty when only a port was given
    std::optional<int> port; // absent when only a host was given
};

// Parses "HOST" or "HOST:PORT". nullopt and *error (one clause, no
// program name) for an empty host, a port that is not 1..65535, or stray
// characters.
std::optional<HostPort> parseHostPort(const QString &text, QString *error);
// Parses "PORT" or "ADDRESS:PORT"; the address must be an IP address (no
// name look-up for a listening socket). Port 0 is refused: a spreadsheet
// needs to know where to look.
std::optional<HostPort> parseListenAddress(const QString &text, QString *error);

// "host:port", with brackets around an IPv6 address.
QString formatHostPort(const QString &host, int port);

} // namespace telviox
