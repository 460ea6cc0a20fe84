#pragma once

#include "conversations/conversationtable.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace telviox {

// A conversation list on disk is a pair of fixed-length record files without
// header: the CNV file (one 28-byte record per conversation) and its companion
// (one 80-byte record per link entry). Integers are little-endian, OutValue is
// a little-endian binary32, texts are one byte per character (Latin-1).
namespace CnvFile {
constexpr int RecordSize = 28;
constexpr int Size = RecordSize * ConvCount; // 896
} // namespace CnvFile

namespace CompanionFile {
constexpr int RecordSize = 80;
constexpr int Size = RecordSize * LinkCount; // 2640
// Room for the three texts: the record less its four 2-byte fields.
constexpr int MaxTextBytes = RecordSize - 4 * 2; // 72
} // namespace CompanionFile

QByteArray encodeConvRecord(const ConvRecord &record);
// Record index (from 0) of a CNV file's bytes; bytes beyond the end read as 0,
// and so does a record outside 0..31.
ConvRecord decodeConvRecord(const QByteArray &file, int index);
QByteArray encodeCnv(const ConvTable &conv);
ConvTable decodeCnv(const QByteArray &file);

enum class LinkFit { Fits, TooLong, NotLatin1 };
LinkFit linkRecordFit(const LinkRecord &record);
// nullopt when the record does not fit (see linkRecordFit).
std::optional<QByteArray> encodeLinkRecord(const LinkRecord &record);
// A text whose length reaches past its record reads as empty, and so does
// everything after it; bytes beyond the end of the file read as 0, and a record
// outside 0..32 is empty.
LinkRecord decodeLinkRecord(const QByteArray &file, int index);
// nullopt when any record does not fit.
std::optional<QByteArray> encodeCompanion(const LinkTable &link);
LinkTable decodeCompanion(const QByteArray &file);

// The companion of a CNV file: its file name up to and including the last ".",
// then "dde"; a name without "." gets ".dde". Folders are never touched.
QString companionPath(const QString &cnvPath);

// The open command's test: the (up to) three characters after the last "." of
// the path, or the path's first three without one, upper-cased, equal "CNV".
bool hasCnvExtension(const QString &path);

// Only a path that plainly does not exist counts as missing; any other failure
// to look at it (no permission on a folder, ...) counts as existing.
bool FileExist(const QString &path);

struct ConversationPair
{
    ConvTable conv{};
    LinkTable link{};
};

// Reads both files whole. nullopt (and the reason in *error) when either
// cannot be opened or read; nothing is created.
std::optional<ConversationPair> readPair(const QString &cnvPath, const QString &companion,
                                         QString *error = nullptr);

struct WriteOutcome
{
    bool ok = false;
    // On failure: which file, why, and whether the CNV file had already been
    // replaced (the companion's own replacement failed after it).
    QString failedPath;
    QString error;
    bool cnvReplaced = false;
};

// The replacements of a pair write, for tests that make one of them fail.
enum class PairStep { ReplaceCnv, ReplaceCompanion };
using PairFault = std::function<bool(PairStep)>; // true: that replacement fails

// Writes both files by atomic replacement: both are written out completely
// beside their targets before either replaces its target. Should the
// companion fail to follow, the CNV file is put back as it was (or removed
// when there was none), so that the old pair stays whole; cnvReplaced tells
// when even that failed.
WriteOutcome writePair(const QString &cnvPath, const QByteArray &cnvBytes, const QString &companion,
                       const QByteArray &companionBytes, const PairFault &fault = {});

} // namespace telviox
