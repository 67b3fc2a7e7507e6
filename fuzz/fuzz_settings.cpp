// Any settings file: the parsed and cached file reads as the file does,
// writing one value gives it back and keeps every other line byte for byte,
// the start-up read and write-back settle after one round and keep the lines
// they do not own, and the broadcast list grows by at most the one subnet
// added, and not at all once it holds MaxLearnedSubnets entries.
#include "kit/ManualClock.h"
#include "kit/ScriptedMessageBoxes.h"
#include "kit/VirtualLan.h"
#include "platform/Cp932.h"
#include "platform/ProfileFile.h"
#include "platform/ProfileSnapshot.h"
#include "protocol/Program.h"
#include "settings/BroadcastList.h"
#include "settings/NumberText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <memory>

using namespace wibblet;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

struct Name {
    const char* section;
    const char* key;
};

// The program's own names, case variants of them (the same entries), and a
// double-byte name whose trail byte is an ASCII letter.
const Name kNames[] = {
    {"DEFAULT", "DEF_TITLE"}, {"DEFAULT", "DEF_OK"},    {"ERROR", "ERR_CNT"},
    {"ERROR", "ERR_EXE_0"},   {"ERROR", "ERR_EXE_1"},   {"BSC_CFG", "USER_NAME"},
    {"BSC_CFG", "SECRET_OK"}, {"BSC_CFG", "IP_MSG"},    {"BRD_CAST", "BRC_CNT"},
    {"BRD_CAST", "BRC_IP_0"}, {"BRD_CAST", "BRC_IP_1"}, {"bsc_cfg", "user_name"},
    {"Default", "Def_Ok"},    {"設定", "ソ"},           {"X", "Y"},
};
constexpr int kNameCount = int(sizeof kNames / sizeof kNames[0]);

// The written names of the start-up write-back, upper case.
bool IsWriteBackKey(const QByteArray& name)
{
    static const QList<QByteArray> fixed{"DEF_TITLE", "DEF_OK", "ERR_CNT", "SECRET_OK", "IP_MSG"};
    const QByteArray upper = name.toUpper();
    return fixed.contains(upper) || upper.startsWith("ERR_EXE_");
}

// Work is bounded: a count this large costs thousands of file reads per run.
constexpr qint32 kMaxListToWalk = 500;

QString Sec(const Name& n)
{
    return QString::fromUtf8(n.section);
}
QString Key(const Name& n)
{
    return QString::fromUtf8(n.key);
}

const QString kAbsent = QStringLiteral("<absent>");

QByteArray Load(const QString& path)
{
    QFile f(path);
    Check(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void Store(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    Check(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    Check(f.write(bytes) == bytes.size());
}

QList<QByteArray> Lines(const QByteArray& data)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype newline = data.indexOf('\n', start);
        const qsizetype next = newline < 0 ? data.size() : newline + 1;
        if (newline < 0)
            newline = data.size();
        else if (newline > start && data[newline - 1] == '\r')
            --newline;
        lines.append(data.mid(start, newline - start));
        start = next;
    }
    return lines;
}

// Whether every line of before that skip() does not exempt appears in after,
// in the same order and unchanged.
template <typename Skip>
bool LinesKept(const QByteArray& before, const QByteArray& after, Skip skip)
{
    const QList<QByteArray> newLines = Lines(after);
    qsizetype j = 0;
    for (const QByteArray& line : Lines(before)) {
        if (skip(line))
            continue;
        while (j < newLines.size() && newLines[j] != line)
            ++j;
        if (j == newLines.size())
            return false;
        ++j;
    }
    return true;
}

// A value the file can give back as written: no line end, no blanks at its
// ends (names and values are trimmed), within the 1023-byte limit, and made
// of characters code page 932 has.
bool Representable(const QString& v)
{
    if (v.contains(QLatin1Char('\r')) || v.contains(QLatin1Char('\n')))
        return false;
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    if (!v.isEmpty() && (blank(v.front()) || blank(v.back())))
        return false;
    const QByteArray bytes = Cp932::Encode(v);
    return bytes.size() <= 1023 && Cp932::Decode(bytes) == v;
}

bool SameName(const Name& a, const Name& b)
{
    return Sec(a).compare(Sec(b), Qt::CaseInsensitive) == 0
           && Key(a).compare(Key(b), Qt::CaseInsensitive) == 0;
}

void WriteOne(const QString& path, const Name& target, const QString& value)
{
    QString before[kNameCount];
    for (int i = 0; i < kNameCount; ++i)
        before[i] = ProfileFile::Read(path, Sec(kNames[i]), Key(kNames[i]), kAbsent);
    const QByteArray old = Load(path);

    // A value with a line break would add lines of its own: refused whole.
    const bool breaks = value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n'));
    Check(ProfileFile::Write(path, Sec(target), Key(target), value) == !breaks);
    const QByteArray now = Load(path);
    if (breaks) {
        Check(now == old);
        return;
    }

    if (Representable(value))
        Check(ProfileFile::Read(path, Sec(target), Key(target), kAbsent) == value);
    for (int i = 0; i < kNameCount; ++i) {
        if (!SameName(kNames[i], target))
            Check(ProfileFile::Read(path, Sec(kNames[i]), Key(kNames[i]), kAbsent) == before[i]);
    }
    // At most one line changed: the part of the old file that differs lies
    // within one line.
    qsizetype head = 0;
    while (head < old.size() && head < now.size() && old[head] == now[head])
        ++head;
    qsizetype tail = 0;
    while (tail < old.size() - head && tail < now.size() - head
           && old[old.size() - 1 - tail] == now[now.size() - 1 - tail])
        ++tail;
    Check(!old.mid(head, old.size() - head - tail).contains('\n'));
}

// The parsed file and the record's cache give what reading the file gives,
// the cache even when the file changed under it since its last use.
void CacheAgrees(const QString& path, const QByteArray& file)
{
    static Settings kept;
    kept.path = path;
    const ProfileSnapshot snapshot(file);
    for (const Name& n : kNames) {
        const QString direct = ProfileFile::Read(path, Sec(n), Key(n), kAbsent);
        Check(snapshot.Value(Sec(n), Key(n), kAbsent) == direct);
        Check(kept.GetIni(Sec(n), Key(n), kAbsent) == direct);
    }
}

struct Record {
    QString title, ok, user, secret, ipMsg;
    qint32 count;
    QStringList names;
    bool operator==(const Record&) const = default;
};

Record ReadRecord(const QString& path)
{
    Settings s;
    s.path = path;
    s.Read();
    Check(s.ERR_CNT >= 0 && s.ERR_CNT <= Settings::MaxErrCnt);
    Check(s.ERR_EXE.size() == s.ERR_CNT + 1);
    s.WriteBack();
    return {s.DEF_TITLE, s.DEF_OK, s.USER_NAME, s.SECRET_OK, s.IP_MSG, s.ERR_CNT, s.ERR_EXE};
}

void StartUpRound(const QString& path)
{
    if (ReadNumberOr(
            ProfileFile::Read(path, QStringLiteral("ERROR"), QStringLiteral("ERR_CNT"), {}), 0)
        > kMaxListToWalk)
        return;
    const QByteArray old = Load(path);
    ReadRecord(path);
    const QByteArray now = Load(path);
    Check(LinesKept(old, now, [](const QByteArray& line) {
        const qsizetype equals = line.indexOf('=');
        return equals >= 0 && IsWriteBackKey(line.first(equals).trimmed());
    }));
    // What one round wrote reads back as the same record.
    const Record second = ReadRecord(path);
    Check(ReadRecord(path) == second);
}

void AddSubnet(const QString& path, const QString& address)
{
    if (ReadNumberOr(
            ProfileFile::Read(path, QStringLiteral("BRD_CAST"), QStringLiteral("BRC_CNT"), {}), 0)
        > kMaxListToWalk)
        return;
    VirtualLan lan;
    std::unique_ptr<VirtualSocket> socket =
        lan.CreateSocket(QStringLiteral("ME"), QStringLiteral("10.0.0.1"));
    ScriptedMessageBoxes boxes;
    ManualClock clock{QDateTime(QDate(2026, 2, 3), QTime(9, 5))};
    Program program(*socket, boxes, clock);
    program.settings.path = path;
    InitBrdAddr(program);

    const QStringList before = ReadBrdList(program.settings);
    AddBrdList(program.settings, program.ownBroadcast, address);
    const QStringList after = ReadBrdList(program.settings);
    const QString subnet = MakeBrdAddr(address);
    if (subnet == program.ownBroadcast || before.contains(subnet)
        || before.size() >= MaxLearnedSubnets) {
        Check(after == before);
    } else if (Representable(subnet) && before.size() < kMaxListToWalk) {
        Check(after == before + QStringList{subnet});
    }
}

} // namespace

// Layout: value text, "\"-ended; address text, "\"-ended; the file; the last
// byte picks the name written.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir(QFileInfo::exists(QStringLiteral("/dev/shm"))
                                 ? QStringLiteral("/dev/shm/wibblet-fuzz-XXXXXX")
                                 : QString());
    Check(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("wibblet.ini"));

    FuzzedDataProvider in(data, size);
    const Name& target = kNames[in.ConsumeIntegralInRange(0, kNameCount - 1)];
    const QString value =
        Cp932::Decode(QByteArray::fromStdString(in.ConsumeRandomLengthString(1100)));
    const QString address = QString::fromStdString(in.ConsumeRandomLengthString(40));
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const QByteArray file = QByteArray::fromStdString(rest);

    Store(path, file);
    CacheAgrees(path, file);
    WriteOne(path, target, value);
    Store(path, file);
    StartUpRound(path);
    Store(path, file);
    AddSubnet(path, address);
    return 0;
}
