#include "conversations/conversationfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace telviox {

namespace {

// One record of a file, zero-filled where the file is shorter; all zero for a
// record the file format does not have.
QByteArray recordOf(const QByteArray &file, int index, int size, int count)
{
    QByteArray record(size, '\0');
    if (index < 0 || index >= count)
        return record;
    const qsizetype start = qsizetype(index) * size;
    if (start < file.size()) {
        const qsizetype available = qMin<qsizetype>(size, file.size() - start);
        std::memcpy(record.data(), file.constData() + start, size_t(available));
    }
    return record;
}

template <typename T> void put(char *at, T value)
{
    qToLittleEndian<T>(value, at);
}

template <typename T> T get(const char *at)
{
    return qFromLittleEndian<T>(at);
}

void putFloat(char *at, float value)
{
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    put<quint32>(at, bits);
}

float getFloat(const char *at)
{
    const quint32 bits = get<quint32>(at);
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool isLatin1(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

// Reads a companion record front to back, never past its end. Once a field
// cannot be located every later one reads empty.
class RecordReader
{
public:
    explicit RecordReader(const QByteArray &record) : m_record(record) {}

    qint16 int16()
    {
        if (m_lost || m_pos + 2 > m_record.size()) {
            m_lost = true;
            return 0;
        }
        const auto value = get<qint16>(m_record.constData() + m_pos);
        m_pos += 2;
        return value;
    }

    QString text()
    {
        const int length = quint16(int16());
        if (m_lost || m_pos + length > m_record.size()) {
            m_lost = true;
            return {};
        }
        const QString value = QString::fromLatin1(m_record.constData() + m_pos, length);
        m_pos += length;
        return value;
    }

private:
    const QByteArray &m_record;
    int m_pos = 0;
    bool m_lost = false;
};

} // namespace

QByteArray encodeConvRecord(const ConvRecord &r)
{
    QByteArray bytes(CnvFile::RecordSize, '\0');
    char *p = bytes.data();
    put<qint16>(p + 0, r.InUse);
    put<qint32>(p + 2, r.TypeCode);
    put<qint32>(p + 6, r.BaudRate);
    put<qint16>(p + 10, r.Address);
    put<qint16>(p + 12, r.Checksum);
    put<qint16>(p + 14, r.Channels);
    put<qint16>(p + 16, r.LinkActive);
    put<qint16>(p + 18, r.IoType);
    put<qint16>(p + 20, r.OutData);
    putFloat(p + 22, r.OutValue);
    put<qint16>(p + 26, r.Slot);
    return bytes;
}

ConvRecord decodeConvRecord(const QByteArray &file, int index)
{
    const QByteArray bytes = recordOf(file, index, CnvFile::RecordSize, ConvCount);
    const char *p = bytes.constData();
    ConvRecord r;
    r.InUse = get<qint16>(p + 0);
    r.TypeCode = get<qint32>(p + 2);
    r.BaudRate = get<qint32>(p + 6);
    r.Address = get<qint16>(p + 10);
    r.Checksum = get<qint16>(p + 12);
    r.Channels = get<qint16>(p + 14);
    r.LinkActive = get<qint16>(p + 16);
    r.IoType = get<qint16>(p + 18);
    r.OutData = get<qint16>(p + 20);
    r.OutValue = getFloat(p + 22);
    r.Slot = get<qint16>(p + 26);
    return r;
}

QByteArray encodeCnv(const ConvTable &conv)
{
    QByteArray file;
    file.reserve(CnvFile::Size);
    for (const ConvRecord &record : conv)
        file += encodeConvRecord(record);
    return file;
}

ConvTable decodeCnv(const QByteArray &file)
{
    ConvTable conv{};
    for (int i = 0; i < ConvCount; ++i)
        conv[size_t(i)] = decodeConvRecord(file, i);
    return conv;
}

LinkFit linkRecordFit(const LinkRecord &record)
{
    if (!isLatin1(record.Service) || !isLatin1(record.Topic) || !isLatin1(record.Item))
        return LinkFit::NotLatin1;
    // Latin-1: one byte per character.
    const qsizetype bytes = record.Service.size() + record.Topic.size() + record.Item.size();
    return bytes <= CompanionFile::MaxTextBytes ? LinkFit::Fits : LinkFit::TooLong;
}

std::optional<QByteArray> encodeLinkRecord(const LinkRecord &record)
{
    if (linkRecordFit(record) != LinkFit::Fits)
        return std::nullopt;
    QByteArray bytes;
    bytes.reserve(CompanionFile::RecordSize);
    const auto appendInt16 = [&bytes](qint16 value) {
        char raw[2];
        put<qint16>(raw, value);
        bytes.append(raw, 2);
    };
    for (const QString *text : {&record.Service, &record.Topic, &record.Item}) {
        appendInt16(qint16(text->size()));
        bytes += text->toLatin1();
    }
    appendInt16(record.Linked);
    bytes.append(CompanionFile::RecordSize - bytes.size(), '\0');
    return bytes;
}

LinkRecord decodeLinkRecord(const QByteArray &file, int index)
{
    const QByteArray bytes = recordOf(file, index, CompanionFile::RecordSize, LinkCount);
    RecordReader reader(bytes);
    LinkRecord r;
    r.Service = reader.text();
    r.Topic = reader.text();
    r.Item = reader.text();
    r.Linked = reader.int16();
    return r;
}

std::optional<QByteArray> encodeCompanion(const LinkTable &link)
{
    QByteArray file;
    file.reserve(CompanionFile::Size);
    for (const LinkRecord &record : link) {
        const auto bytes = encodeLinkRecord(record);
        if (!bytes)
            return std::nullopt;
        file += *bytes;
    }
    return file;
}

LinkTable decodeCompanion(const QByteArray &file)
{
    LinkTable link{};
    for (int j = 0; j < LinkCount; ++j)
        link[size_t(j)] = decodeLinkRecord(file, j);
    return link;
}

QString companionPath(const QString &cnvPath)
{
    const qsizetype nameStart = cnvPath.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = cnvPath.lastIndexOf(QLatin1Char('.'));
    if (dot < nameStart)
        return cnvPath + QStringLiteral(".dde");
    return cnvPath.left(dot + 1) + QStringLiteral("dde");
}

bool hasCnvExtension(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? path.left(3) : path.mid(dot + 1, 3);
    return extension.toUpper() == QLatin1String("CNV");
}

bool FileExist(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::stat(native.constData(), &info) == 0)
        return true;
    return errno != ENOENT;
}

namespace {

// size < 0: the whole file.
std::optional<QByteArray> readWhole(const QString &path, qint64 size, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    // Only the records are read; anything after them is not part of the list.
    const QByteArray bytes = size < 0 ? file.readAll() : file.read(size);
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return bytes;
}

// Puts back the CNV file a pair write replaced: its old bytes, or no file.
bool restore(const QString &path, bool existed, const std::optional<QByteArray> &bytes)
{
    if (!existed)
        return QFile::remove(path);
    if (!bytes)
        return false;
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(*bytes) == bytes->size() && file.commit();
}

} // namespace

std::optional<ConversationPair> readPair(const QString &cnvPath, const QString &companion,
                                         QString *error)
{
    const auto cnvBytes = readWhole(cnvPath, CnvFile::Size, error);
    if (!cnvBytes)
        return std::nullopt;
    const auto linkBytes = readWhole(companion, CompanionFile::Size, error);
    if (!linkBytes)
        return std::nullopt;
    return ConversationPair{decodeCnv(*cnvBytes), decodeCompanion(*linkBytes)};
}

WriteOutcome writePair(const QString &cnvPath, const QByteArray &cnvBytes, const QString &companion,
                       const QByteArray &companionBytes, const PairFault &fault)
{
    const auto failed = [](const QSaveFile &file, bool cnvReplaced) {
        return WriteOutcome{false, file.fileName(), file.errorString(), cnvReplaced};
    };
    // A failure the test asks for goes the way of a real one.
    const auto replace = [&fault](QSaveFile &file, PairStep step) {
        if (fault && fault(step))
            file.cancelWriting();
        return file.commit();
    };
    // An uncommitted QSaveFile removes its temporary file: an early return
    // leaves both targets as they were.
    QSaveFile cnv(cnvPath);
    if (!cnv.open(QIODevice::WriteOnly) || cnv.write(cnvBytes) != cnvBytes.size())
        return failed(cnv, false);
    QSaveFile link(companion);
    if (!link.open(QIODevice::WriteOnly) || link.write(companionBytes) != companionBytes.size())
        return failed(link, false);
    const bool hadCnv = QFileInfo::exists(cnvPath);
    const std::optional<QByteArray> oldCnv =
        hadCnv ? readWhole(cnvPath, -1, nullptr) : QByteArray();
    if (!replace(cnv, PairStep::ReplaceCnv))
        return failed(cnv, false);
    if (!replace(link, PairStep::ReplaceCompanion))
        return failed(link, !restore(cnvPath, hadCnv, oldCnv));
    return WriteOutcome{true, {}, {}, false};
}

} // namespace telviox
