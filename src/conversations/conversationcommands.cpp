#include "conversations/conversationcommands.h"

#include "core/filedialog.h"
#include "core/programnames.h"
#include "core/prompt.h"

#include <QDir>

namespace telviox {

const QString ConversationFileCommands::OpenFilter = QStringLiteral("All File|*.*|.Cnv|*.CNV");
const QString ConversationFileCommands::SaveFilter = QStringLiteral("All File|*.*|.Cnv|*.cnv");

namespace {
const QString CrLf = QStringLiteral("\r\n");
}

ConversationFileCommands::ConversationFileCommands(SharedState &state, Prompt &prompt,
                                                   FileDialogs &dialogs, EstablishView &establish,
                                                   MainWindowCaption &caption,
                                                   std::function<void()> startServer)
    : m_state(state), m_prompt(prompt), m_dialogs(dialogs), m_establish(establish),
      m_caption(caption), m_startServer(std::move(startServer))
{}

bool ConversationFileCommands::open()
{
    const auto path = m_dialogs.getOpenFileName(QStringLiteral("Open"), OpenFilter, FilterIndex);
    if (!path) {
        noFileSelection();
        return false;
    }
    if (!hasCnvExtension(*path)) {
        extensionError(*path);
        return false;
    }
    if (!load(*path)) {
        noFileSelection();
        return false;
    }
    return true;
}

bool ConversationFileCommands::save()
{
    const auto path = m_dialogs.getSaveFileName(QStringLiteral("Save As"), SaveFilter, FilterIndex);
    if (!path) {
        m_prompt.beep();
        return false;
    }
    // Checked before the overwrite question: a list that cannot be written
    // whole is not written at all.
    if (refuseUnwritableLinks(*path))
        return false;
    const QString companion = companionPath(*path);
    if (companion == *path) {
        m_prompt.beep();
        m_prompt.message(QStringLiteral("A conversation list cannot be saved under the name of "
                                        "its own companion file (.dde); nothing was saved."),
                         BoxStyle::Critical | BoxStyle::Ok, *path);
        return false;
    }
    if (FileExist(*path)) {
        m_prompt.beep();
        m_prompt.beep();
        const Answer answer =
            m_prompt.message(QStringLiteral("The file already exist!!!, Overwrite it?"),
                             BoxStyle::Question | BoxStyle::YesNo, *path);
        if (answer != Answer::Yes)
            return false;
    }
    const auto companionBytes = encodeCompanion(m_state.Link);
    Q_ASSERT(companionBytes); // refuseUnwritableLinks() let it through
    const WriteOutcome outcome =
        writePair(*path, encodeCnv(m_state.Conv), companion, companionBytes.value_or(QByteArray()));
    if (!outcome.ok)
        return reportWriteFailure(*path, outcome);
    return true;
}

bool ConversationFileCommands::autorun(const QString &programFolder)
{
    const QString path = QDir(programFolder).filePath(QStringLiteral("default.cnv"));
    if (!hasCnvExtension(path)) {
        extensionError(path);
        return false;
    }
    const QString companion = companionPath(path);
    for (const QString &file : {path, companion}) {
        if (!FileExist(file)) {
            m_prompt.message(QStringLiteral("File Not exist !!!") + file, BoxStyle::Ok,
                             ProgramTitle);
            return false;
        }
    }
    if (!load(path)) {
        noFileSelection();
        return false;
    }
    if (m_startServer)
        m_startServer();
    return true;
}

std::optional<ConversationPair> readLoadablePair(const QString &path, QString *why)
{
    const QString companion = companionPath(path);
    for (const QString &file : {path, companion}) {
        if (!FileExist(file)) {
            if (why)
                *why = file + QStringLiteral(": no such file");
            return std::nullopt;
        }
    }
    QString error;
    auto pair = readPair(path, companion, &error);
    if (!pair) {
        if (why)
            *why = QStringLiteral("%1 and %2 cannot be read: %3").arg(path, companion, error);
        return std::nullopt;
    }
    const qint16 interval = pair->link[IntervalEntry].Linked;
    if (!intervalAcceptable(interval)) {
        if (why)
            *why = QStringLiteral("%1: its timer interval %2 ms is not from %3 to %4 ms")
                       .arg(companion)
                       .arg(interval)
                       .arg(IntervalMinimum)
                       .arg(IntervalMaximum);
        return std::nullopt;
    }
    return pair;
}

void applyPair(SharedState &state, EstablishView &establish, const ConversationPair &pair)
{
    replaceTables(state, pair.conv, pair.link);
    for (int i = 0; i < ConvCount; ++i) {
        establish.setChecked(i, false);
        if (state.Conv[size_t(i)].InUse != 0)
            establish.setChecked(i, true);
    }
    establish.setIntervalValue(state.Link[IntervalEntry].Linked);
}

// Everything is read and checked before anything changes, so that a pair that
// cannot be loaded leaves the table, the check boxes and the caption as they
// were.
bool ConversationFileCommands::load(const QString &path)
{
    const auto pair = readLoadablePair(path);
    if (!pair)
        return false;

    m_caption.setCaption(QStringLiteral("Working file:") + path);
    applyPair(m_state, m_establish, *pair);
    m_prompt.beep();
    return true;
}

void ConversationFileCommands::noFileSelection()
{
    m_prompt.beep();
    m_prompt.message(QStringLiteral("No File Selection !!!"),
                     BoxStyle::Critical | BoxStyle::CancelTryContinue, QStringLiteral("File Open"));
}

void ConversationFileCommands::extensionError(const QString &path)
{
    m_prompt.beep();
    m_prompt.message(QStringLiteral("File Extension Error !!!") + CrLf +
                         QStringLiteral("Please open with .CNV File Extension"),
                     BoxStyle::Critical | BoxStyle::Ok, path);
}

bool ConversationFileCommands::refuseUnwritableLinks(const QString &path)
{
    for (int j = 0; j < LinkCount; ++j) {
        const LinkFit fit = linkRecordFit(m_state.Link[size_t(j)]);
        if (fit == LinkFit::Fits)
            continue;
        const QString why =
            fit == LinkFit::TooLong
                ? QStringLiteral("service, topic and item together exceed %1 bytes")
                      .arg(CompanionFile::MaxTextBytes)
                : QStringLiteral("service, topic or item holds a character that cannot be "
                                 "stored in the file");
        m_prompt.beep();
        m_prompt.message(QStringLiteral("Link entry %1: %2; nothing was saved.").arg(j).arg(why),
                         BoxStyle::Critical | BoxStyle::Ok, path);
        return true;
    }
    return false;
}

bool ConversationFileCommands::reportWriteFailure(const QString &path, const WriteOutcome &outcome)
{
    QString text =
        QStringLiteral("Could not write %1: %2").arg(outcome.failedPath, outcome.error) + CrLf;
    text += outcome.cnvReplaced
                ? QStringLiteral("The conversation file was saved, its companion file was not.")
                : QStringLiteral("Nothing was saved.");
    m_prompt.beep();
    m_prompt.message(text, BoxStyle::Critical | BoxStyle::Ok, path);
    return false;
}

} // namespace telviox
