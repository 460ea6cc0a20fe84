#include "cnvtool.h"

#include "conversations/conversationfiles.h"
#include "conversations/conversationtext.h"
#include "conversations/settingsummary.h"
#include "conversations/sharedstate.h"

#include <QFile>
#include <cstdio>

namespace telviox::cnv {

namespace {

constexpr int ExitRefused = 2;

struct Files
{
    QByteArray cnv;
    QByteArray companion;
};

std::optional<QByteArray> readFile(ToolCommandLine &cl, const QString &path)
{
    QFile file(path);
    const bool opened = path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                   : file.open(QIODevice::ReadOnly);
    QByteArray bytes;
    if (opened)
        bytes = file.readAll();
    if (!opened || file.error() != QFileDevice::NoError) {
        cl.failure(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    return bytes;
}

std::optional<ConversationPair> readList(ToolCommandLine &cl, const QString &cnvPath)
{
    QString error;
    const QString companion = companionPath(cnvPath);
    auto pair = readPair(cnvPath, companion, &error);
    if (!pair)
        cl.failure(QStringLiteral("cannot read %1 and %2: %3").arg(cnvPath, companion, error));
    return pair;
}

int summaryCommand(ToolCommandLine &cl, const QString &cnvPath, bool unixLines)
{
    const auto pair = readList(cl, cnvPath);
    if (!pair)
        return ToolCommandLine::ExitFailure;
    SharedState state;
    state.Conv = pair->conv;
    state.Link = pair->link;
    QString text = settingSummaryText(state);
    if (unixLines)
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    cl.out() << text;
    cl.out().flush();
    return ToolCommandLine::ExitOk;
}

int exportCommand(ToolCommandLine &cl, const QString &cnvPath, cnvtext::Format format)
{
    const auto pair = readList(cl, cnvPath);
    if (!pair)
        return ToolCommandLine::ExitFailure;
    cl.out() << QString::fromUtf8(cnvtext::exportList(*pair, format));
    cl.out().flush();
    return ToolCommandLine::ExitOk;
}

int importCommand(ToolCommandLine &cl, const QString &textPath, const QString &cnvPath)
{
    const auto text = readFile(cl, textPath);
    if (!text)
        return ToolCommandLine::ExitFailure;
    const cnvtext::ImportResult result = cnvtext::importList(*text);
    if (!result.problems.isEmpty()) {
        for (const cnvtext::Problem &problem : result.problems)
            cl.err() << "telvioxd-cnv: " << textPath << ": " << problem.text() << '\n';
        cl.err() << "telvioxd-cnv: nothing written\n";
        cl.err().flush();
        return ExitRefused;
    }
    const auto companionBytes = encodeCompanion(result.pair.link);
    const QString companion = companionPath(cnvPath);
    const WriteOutcome written = writePair(cnvPath, encodeCnv(result.pair.conv), companion,
                                           companionBytes.value_or(QByteArray()));
    if (!written.ok) {
        const QString kept =
            written.cnvReplaced
                ? QStringLiteral("; %1 was replaced and could not be put back").arg(cnvPath)
                : QStringLiteral("; both files are as they were");
        return cl.failure(
            QStringLiteral("cannot write %1: %2%3").arg(written.failedPath, written.error, kept));
    }
    return ToolCommandLine::ExitOk;
}

int checkCommand(ToolCommandLine &cl, const QString &cnvPath)
{
    const auto cnv = readFile(cl, cnvPath);
    if (!cnv)
        return ToolCommandLine::ExitFailure;
    const auto companion = readFile(cl, companionPath(cnvPath));
    if (!companion)
        return ToolCommandLine::ExitFailure;
    const QList<cnvtext::Problem> problems = cnvtext::checkFiles(*cnv, *companion);
    for (const cnvtext::Problem &problem : problems)
        cl.out() << cnvPath << ": " << problem.text() << '\n';
    cl.out().flush();
    return problems.isEmpty() ? ToolCommandLine::ExitOk : ToolCommandLine::ExitFailure;
}

} // namespace

QString helpText()
{
    return QStringLiteral(
        "usage: telvioxd-cnv COMMAND ...\n"
        "Shows, checks, exports and imports conversation lists (a FILE.cnv and its\n"
        "companion FILE.dde).\n"
        "\n"
        "  summary FILE.cnv [--unix]\n"
        "                    print the setting summary as the summary window shows\n"
        "                    it; CR LF ends each line, LF with --unix\n"
        "  export FILE.cnv [--format json|csv]\n"
        "                    print the list as text (JSON unless csv is asked for)\n"
        "  import TEXT FILE.cnv\n"
        "                    write FILE.cnv and its companion from a JSON or CSV\n"
        "                    list (TEXT - reads stdin); nothing is written when the\n"
        "                    list has a problem, each is named and the exit status is 2\n"
        "  check FILE.cnv    name what import would refuse in a pair; exit status 1\n"
        "                    when there is anything\n"
        "\n"
        "  --help            print this help\n"
        "  --version         print the program's version\n"
        "\n"
        "The text form is described in docs/conversation-text.md.\n");
}

void ToolOptions::addTo(QCommandLineParser &parser) const
{
    parser.addOption(format);
    parser.addOption(unixLines);
}

int runTool(ToolCommandLine &cl, const ToolOptions &options)
{
    const QStringList args = cl.parser().positionalArguments();
    if (args.isEmpty())
        return cl.usageError(QStringLiteral("no command given"));
    const QString command = args.first();
    const QStringList operands = args.mid(1);
    const auto wantOperands = [&](qsizetype count, const QString &what) -> std::optional<int> {
        if (operands.size() != count)
            return cl.usageError(command + QStringLiteral(" takes ") + what);
        return std::nullopt;
    };
    const bool formatSet = cl.parser().isSet(options.format);
    const bool unixSet = cl.parser().isSet(options.unixLines);
    if (formatSet && command != QLatin1String("export"))
        return cl.usageError(QStringLiteral("--format belongs to export"));
    if (unixSet && command != QLatin1String("summary"))
        return cl.usageError(QStringLiteral("--unix belongs to summary"));

    if (command == QLatin1String("summary")) {
        if (const auto bad = wantOperands(1, QStringLiteral("one FILE.cnv")))
            return *bad;
        return summaryCommand(cl, operands.first(), unixSet);
    }
    if (command == QLatin1String("export")) {
        if (const auto bad = wantOperands(1, QStringLiteral("one FILE.cnv")))
            return *bad;
        const QString format = cl.parser().value(options.format);
        if (formatSet && format != QLatin1String("json") && format != QLatin1String("csv"))
            return cl.usageError(QStringLiteral("--format is json or csv, not ") + format);
        return exportCommand(cl, operands.first(),
                             format == QLatin1String("csv") ? cnvtext::Format::Csv
                                                            : cnvtext::Format::Json);
    }
    if (command == QLatin1String("import")) {
        if (const auto bad = wantOperands(2, QStringLiteral("TEXT and FILE.cnv")))
            return *bad;
        return importCommand(cl, operands.at(0), operands.at(1));
    }
    if (command == QLatin1String("check")) {
        if (const auto bad = wantOperands(1, QStringLiteral("one FILE.cnv")))
            return *bad;
        return checkCommand(cl, operands.first());
    }
    return cl.usageError(QStringLiteral("no command ") + command);
}

} // namespace telviox::cnv
