#pragma once

#include "publish/publishing.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <optional>

namespace telviox {

// The publishing options of a program's command line, declared and read in
// one place:
//   --mqtt HOST[:PORT]  --mqtt-user NAME  --mqtt-password-file PATH
//   --mqtt-tls-ca PATH  --mqtt-tls-cert PATH  --mqtt-tls-key PATH
//   --mqtt-client-id ID  --http [ADDRESS:]PORT
// A password is only read from a file: a command line is seen by every
// user of the machine.
class PublishCommandLine
{
public:
    PublishCommandLine();

    void addTo(QCommandLineParser &parser) const;
    // What the options ask; nullopt and *message (for a usage error) when
    // they do not go together or a value is wrong.
    std::optional<PublishSettings> read(const QCommandLineParser &parser, QString *message) const;

private:
    QCommandLineOption m_mqtt;
    QCommandLineOption m_user;
    QCommandLineOption m_passwordFile;
    QCommandLineOption m_ca;
    QCommandLineOption m_cert;
    QCommandLineOption m_key;
    QCommandLineOption m_clientId;
    QCommandLineOption m_http;
};

} // namespace telviox
