#include "core/toolcommandline.h"

namespace telviox {

ToolCommandLine::ToolCommandLine(QString program, QString help, QTextStream &out, QTextStream &err)
    : m_program(std::move(program)), m_help(std::move(help)), m_out(out), m_err(err),
      m_helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                   QStringLiteral("Print this help.")),
      m_versionOption(QStringLiteral("version"), QStringLiteral("Print the program's version."))
{
    m_parser.addOption(m_helpOption);
    m_parser.addOption(m_versionOption);
}

std::optional<int> ToolCommandLine::parse(const QStringList &arguments)
{
    if (!m_parser.parse(arguments))
        return usageError(m_parser.errorText());
    return answerHelpOrVersion();
}

std::optional<int> ToolCommandLine::parseHelpAndVersion(const QStringList &arguments)
{
    // Qt's own options are single-dash words ("-platform"): read as
    // compacted letters, one of them could pass for -h.
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_parser.parse(arguments);
    return answerHelpOrVersion();
}

std::optional<int> ToolCommandLine::answerHelpOrVersion()
{
    if (m_parser.isSet(m_helpOption)) {
        m_out << (m_help.isEmpty() ? m_parser.helpText() : m_help);
        m_out.flush();
        return ExitOk;
    }
    if (m_parser.isSet(m_versionOption)) {
        m_out << versionLine() << '\n';
        m_out.flush();
        return ExitOk;
    }
    return std::nullopt;
}

int ToolCommandLine::usageError(const QString &message)
{
    m_err << m_program << ": " << message << '\n'
          << "Try '" << m_program << " --help' for more information.\n";
    m_err.flush();
    return ExitUsage;
}

int ToolCommandLine::failure(const QString &message)
{
    m_err << m_program << ": " << message << '\n';
    m_err.flush();
    return ExitFailure;
}

QString ToolCommandLine::versionLine() const
{
    return m_program + QStringLiteral(" " TELVIOXD_VERSION);
}

} // namespace telviox
