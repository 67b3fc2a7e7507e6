#include "platform/ProfileFile.h"

#include "platform/Cp932.h"

#include <QFile>
#include <QSaveFile>

#include <cstring>
#include <optional>

// The file is handled as bytes, never as decoded text, so that lines we do
// not touch (even ones that are not valid code page 932) are written back
// exactly as they were.
namespace wibblet::ProfileFile {

namespace {

constexpr qsizetype kMaxValueBytes = 1023;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Trail bytes are 0x40 and above, so a blank is never half a character.
QByteArrayView TrimBlanks(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

// Steps over whole characters so a trail byte is never taken for ASCII.
qsizetype CharLength(QByteArrayView text, qsizetype at)
{
    return Cp932::IsLeadByte(uchar(text[at])) && at + 1 < text.size() ? 2 : 1;
}

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Names match without regard to ASCII case; double-byte characters must match
// exactly (their trail bytes may look like ASCII letters).
bool NamesEqual(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size();) {
        const qsizetype length = CharLength(a, i);
        if (length == 2) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1])
                return false;
        } else if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
        i += length;
    }
    return true;
}

qsizetype FindChar(QByteArrayView text, qsizetype from, char wanted)
{
    for (qsizetype i = from; i < text.size(); i += CharLength(text, i)) {
        if (text[i] == wanted)
            return i;
    }
    return -1;
}

struct Line {
    qsizetype start; // first byte
    qsizetype end;   // end of the text, before CR LF or LF
    qsizetype next;  // start of the following line
    bool terminated; // false for a last line without a line end
    QByteArrayView text;
};

// Calls visit for every line until it returns false.
template <typename Visit> void ForEachLine(QByteArrayView data, Visit visit)
{
    qsizetype start = 0;
    while (start < data.size()) {
        const void* found = memchr(data.data() + start, '\n', size_t(data.size() - start));
        const bool terminated = found != nullptr;
        const qsizetype newline =
            terminated ? static_cast<const char*>(found) - data.data() : data.size();
        qsizetype end = newline;
        if (terminated && end > start && data[end - 1] == '\r')
            --end;
        const qsizetype next = terminated ? newline + 1 : newline;
        if (!visit(Line{start, end, next, terminated, data.sliced(start, end - start)}))
            return;
        start = next;
    }
}

struct Entry {
    enum Kind { Other, Section, Key } kind = Other;
    QByteArrayView name;
    QByteArrayView value;
};

Entry Parse(QByteArrayView text)
{
    const QByteArrayView line = TrimBlanks(text);
    if (line.startsWith('[')) {
        qsizetype close = FindChar(line, 1, ']');
        if (close < 0)
            close = line.size();
        return {Entry::Section, TrimBlanks(line.sliced(1, close - 1)), {}};
    }
    const qsizetype equals = line.indexOf('='); // '=' is never a trail byte
    if (equals < 0)
        return {};
    return {Entry::Key, TrimBlanks(line.first(equals)), TrimBlanks(line.sliced(equals + 1))};
}

struct Found {
    std::optional<Line> keyLine; // first matching key in any matching section
    QByteArrayView value;
    std::optional<Line> lastLine; // last non-blank line of the first matching section
};

Found Find(QByteArrayView data, QByteArrayView section, QByteArrayView key)
{
    Found found;
    bool inMatch = false;
    bool inFirstMatch = false;
    ForEachLine(data, [&](const Line& line) {
        const Entry entry = Parse(line.text);
        if (entry.kind == Entry::Section) {
            inMatch = NamesEqual(entry.name, section);
            inFirstMatch = inMatch && !found.lastLine;
            if (inFirstMatch)
                found.lastLine = line;
            return true;
        }
        if (inMatch && entry.kind == Entry::Key && NamesEqual(entry.name, key)) {
            found.keyLine = line;
            found.value = entry.value;
            return false;
        }
        if (inFirstMatch && !TrimBlanks(line.text).isEmpty())
            found.lastLine = line;
        return true;
    });
    return found;
}

QByteArrayView CutValue(QByteArrayView value)
{
    qsizetype kept = 0;
    while (kept < value.size()) {
        const qsizetype length = CharLength(value, kept);
        if (kept + length > kMaxValueBytes)
            break;
        kept += length;
    }
    return value.first(kept);
}

} // namespace

QByteArray EncodeName(const QString& name)
{
    return TrimBlanks(Cp932::Encode(name)).toByteArray();
}

QByteArray FoldName(QByteArrayView name)
{
    QByteArray folded(name.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < name.size();) {
        const qsizetype length = CharLength(name, i);
        folded[i] = length == 2 ? name[i] : AsciiLower(name[i]);
        if (length == 2)
            folded[i + 1] = name[i + 1];
        i += length;
    }
    return folded;
}

QString DecodeValue(QByteArrayView value)
{
    return Cp932::Decode(CutValue(value).toByteArray());
}

void ForEachKey(QByteArrayView data,
                const std::function<void(QByteArrayView, QByteArrayView, QByteArrayView)>& visit)
{
    std::optional<QByteArrayView> section;
    ForEachLine(data, [&](const Line& line) {
        const Entry entry = Parse(line.text);
        if (entry.kind == Entry::Section)
            section = entry.name;
        else if (entry.kind == Entry::Key && section)
            visit(*section, entry.name, entry.value);
        return true;
    });
}

QString Read(const QString& path, const QString& section, const QString& key, const QString& def)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return def;
    // Mapping spares a copy and copes with files of any size; files that
    // cannot be mapped (or report no size, like /proc) are read instead.
    QByteArray storage;
    QByteArrayView data;
    const qint64 size = file.size();
    if (uchar* mapped = size > 0 ? file.map(0, size) : nullptr) {
        data = QByteArrayView(mapped, qsizetype(size));
    } else {
        storage = file.readAll();
        data = storage;
    }
    const Found found = Find(data, EncodeName(section), EncodeName(key));
    if (!found.keyLine)
        return def;
    return DecodeValue(found.value);
}

bool Write(const QString& path, const QString& section, const QString& key, const QString& value,
           QByteArray* written)
{
    // A line break would end the key's line early and make the rest of the
    // value lines of their own: a pasted multi-line user name could add keys.
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
        return false;

    QByteArray old;
    QFile file(path);
    const bool existed = file.exists();
    if (existed) {
        // Never replace a file we could not read whole.
        if (!file.open(QIODevice::ReadOnly))
            return false;
        old = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return false;
        file.close();
    }

    const QByteArray sectionName = EncodeName(section);
    const QByteArray keyName = EncodeName(key);
    const QByteArray keyLine = keyName + '=' + Cp932::Encode(value);
    const Found found = Find(old, sectionName, keyName);

    QByteArray out;
    if (found.keyLine) {
        const Line& line = *found.keyLine;
        out = old.first(line.start) + keyLine + old.sliced(line.end);
    } else if (found.lastLine) {
        const Line& after = *found.lastLine;
        const QByteArray lineEnd = after.terminated ? QByteArray() : QByteArray("\r\n");
        out = old.first(after.next) + lineEnd + keyLine + "\r\n" + old.sliced(after.next);
    } else {
        out = old;
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += "\r\n";
        out += '[' + sectionName + "]\r\n" + keyLine + "\r\n";
    }

    // Start-up writes back every value it has just read: rewriting (and
    // syncing) an unchanged file would only cost time.
    if (existed && out == old) {
        if (written)
            *written = out;
        return true;
    }

    // The new contents go to a temporary file that is renamed over the old
    // one, so a failure halfway never leaves a truncated settings file.
    QSaveFile save(path);
    if (!save.open(QIODevice::WriteOnly))
        return false;
    if (save.write(out) != out.size()) {
        save.cancelWriting();
        return false;
    }
    if (!save.commit())
        return false;
    if (written)
        *written = out;
    return true;
}

} // namespace wibblet::ProfileFile
