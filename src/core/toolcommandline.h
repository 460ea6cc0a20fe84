#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QTextStream>
#include <optional>

namespace telviox {

// What every program's command line has in common: --help and --version,
// usage errors as one line and a pointer to --help, failures on stderr, and
// the exit status that goes with each.
class ToolCommandLine
{
public:
    static constexpr int ExitOk = 0;
    static constexpr int ExitFailure = 1;
    static constexpr int ExitUsage = 2;

    // help is the whole text --help prints; empty: the parser's own help text.
    ToolCommandLine(QString program, QString help, QTextStream &out, QTextStream &err);

    // Add the program's own options before parse().
    QCommandLineParser &parser() { return m_parser; }

    // Parses arguments (the program's name first). Returns the exit status
    // when the run is over already: help or version printed, or a usage error.
    std::optional<int> parse(const QStringList &arguments);
    // The same for a program whose other arguments belong to someone else
    // (Qt's own, the session manager's): only --help and --version count.
    std::optional<int> parseHelpAndVersion(const QStringList &arguments);

    // "PROGRAM: message" and the pointer to --help on stderr.
    int usageError(const QString &message);
    // "PROGRAM: message" on stderr.
    int failure(const QString &message);

    QString versionLine() const;
    QTextStream &out() { return m_out; }
    QTextStream &err() { return m_err; }

private:
    std::optional<int> answerHelpOrVersion();

    QString m_program;
    QString m_help;
    QTextStream &m_out;
    QTextStream &m_err;
    QCommandLineParser m_parser;
    QCommandLineOption m_helpOption;
    QCommandLineOption m_versionOption;
};

} // namespace telviox
