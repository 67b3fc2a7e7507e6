#include "platform/ProfileFile.h"

#include "platform/Cp932.h"
#include "platform/FileReplace.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
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

bool HasLineBreak(const QString& value)
{
    return value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r'));
}

// A value to write, in the file's bytes.
struct Prepared {
    QByteArray section; // the name as written in a new section's header
    QByteArray key;
    QByteArray line; // the key's whole line, without its line end
};

Prepared Prepare(const Edit& edit)
{
    const QByteArray key = EncodeName(edit.key);
    return {EncodeName(edit.section), key, key + '=' + Cp932::Encode(edit.value)};
}

// One value written into the file's bytes: its key's line replaced in
// place, or a line added at the end of its section, or its section added at
// the end of the file. Every other byte is kept.
QByteArray ApplyOne(const QByteArray& old, const Prepared& edit)
{
    const Found found = Find(old, edit.section, edit.key);
    if (found.keyLine) {
        const Line& line = *found.keyLine;
        return old.first(line.start) + edit.line + old.sliced(line.end);
    }
    if (found.lastLine) {
        const Line& after = *found.lastLine;
        const QByteArray lineEnd = after.terminated ? QByteArray() : QByteArray("\r\n");
        return old.first(after.next) + lineEnd + edit.line + "\r\n" + old.sliced(after.next);
    }
    QByteArray out = old;
    if (!out.isEmpty() && !out.endsWith('\n'))
        out += "\r\n";
    return out + '[' + edit.section + "]\r\n" + edit.line + "\r\n";
}

// Whether the edit's names read back from the lines it writes as the same
// names (no line break, no ']' in a section name, no '=' in a key name, no
// key name that looks like a section): then lines added by earlier values
// can be found by name without parsing the file again.
bool Plain(const Prepared& edit)
{
    const auto breaks = [](const QByteArray& name) {
        return name.contains('\n') || name.contains('\r');
    };
    const QByteArray header = '[' + edit.section + ']';
    const Entry section = Parse(header);
    const Entry key = Parse(edit.line);
    return !breaks(edit.section) && !breaks(edit.key) && section.kind == Entry::Section
           && section.name == edit.section && key.kind == Entry::Key && key.name == edit.key;
}

// Many values in one pass over the file, with the result of ApplyOne for
// each in turn: a key's first line in any section of its name is replaced;
// a new key goes after the last non-blank line of the first section of its
// name, after the keys added there before it; a new section goes at the end.
QByteArray ApplyMany(const QByteArray& old, const QList<Prepared>& edits)
{
    QSet<QByteArray> sections;
    QSet<QByteArray> keys; // section and key folded, joined by a line break
    for (const Prepared& edit : edits) {
        const QByteArray section = FoldName(edit.section);
        sections.insert(section);
        keys.insert(section + '\n' + FoldName(edit.key));
    }

    struct Span {
        qsizetype start;
        qsizetype end;
    };
    QHash<QByteArray, Span> keyLines;      // the first line of each key asked for
    QHash<QByteArray, qsizetype> addPoint; // after the first section's last line
    QByteArray current;
    bool inSection = false;
    bool inFirst = false;
    ForEachLine(old, [&](const Line& line) {
        const Entry entry = Parse(line.text);
        if (entry.kind == Entry::Section) {
            current = FoldName(entry.name);
            inSection = true;
            inFirst = sections.contains(current) && !addPoint.contains(current);
            if (inFirst)
                addPoint.insert(current, line.next);
            return true;
        }
        if (inSection && entry.kind == Entry::Key) {
            const QByteArray key = current + '\n' + FoldName(entry.name);
            if (keys.contains(key) && !keyLines.contains(key))
                keyLines.insert(key, {line.start, line.end});
        }
        if (inFirst && !TrimBlanks(line.text).isEmpty())
            addPoint[current] = line.next;
        return true;
    });

    QHash<QByteArray, QByteArray> replaced;                      // key → its new line
    QHash<QByteArray, QList<QByteArray>> added;                  // section → lines added to it
    QHash<QByteArray, std::pair<QByteArray, qsizetype>> addedAt; // key → where
    QList<QByteArray> newSections;                               // in the order they were made
    QHash<QByteArray, QByteArray> headers;
    for (const Prepared& edit : edits) {
        const QByteArray section = FoldName(edit.section);
        const QByteArray key = section + '\n' + FoldName(edit.key);
        if (keyLines.contains(key)) {
            replaced.insert(key, edit.line);
        } else if (const auto at = addedAt.constFind(key); at != addedAt.cend()) {
            added[at->first][at->second] = edit.line;
        } else {
            if (!addPoint.contains(section) && !headers.contains(section)) {
                newSections.append(section);
                headers.insert(section, '[' + edit.section + ']');
            }
            QList<QByteArray>& lines = added[section];
            addedAt.insert(key, {section, lines.size()});
            lines.append(edit.line);
        }
    }

    const auto joined = [](const QList<QByteArray>& lines) {
        QByteArray text;
        for (const QByteArray& line : lines)
            text += line + "\r\n";
        return text;
    };
    struct Splice {
        qsizetype start;
        qsizetype end;
        QByteArray text;
    };
    QList<Splice> splices;
    for (auto it = replaced.cbegin(); it != replaced.cend(); ++it)
        splices.append({keyLines[it.key()].start, keyLines[it.key()].end, it.value()});
    // Lines added after the file's last line, then the new sections.
    QByteArray tail;
    for (auto it = addPoint.cbegin(); it != addPoint.cend(); ++it) {
        const auto lines = added.constFind(it.key());
        if (lines == added.cend())
            continue;
        if (it.value() == old.size())
            tail += joined(*lines);
        else
            splices.append({it.value(), it.value(), joined(*lines)});
    }
    for (const QByteArray& section : std::as_const(newSections))
        tail += headers[section] + "\r\n" + joined(added[section]);

    std::sort(splices.begin(), splices.end(),
              [](const Splice& a, const Splice& b) { return a.start < b.start; });
    QByteArray out;
    out.reserve(old.size() + tail.size() + 64 * splices.size());
    qsizetype done = 0;
    for (const Splice& splice : std::as_const(splices)) {
        out.append(QByteArrayView(old).sliced(done, splice.start - done));
        out.append(splice.text);
        done = splice.end;
    }
    out.append(QByteArrayView(old).sliced(done));
    if (!tail.isEmpty()) {
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += "\r\n";
        out += tail;
    }
    return out;
}

QByteArray Apply(const QByteArray& old, const QList<Prepared>& edits)
{
    if (edits.size() > 1 && std::all_of(edits.cbegin(), edits.cend(), Plain))
        return ApplyMany(old, edits);
    QByteArray out = old;
    for (const Prepared& edit : edits)
        out = ApplyOne(out, edit);
    return out;
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
    if (HasLineBreak(value))
        return false;
    return WriteAll(path, {{section, key, value}}, written);
}

bool WriteAll(const QString& path, const QList<Edit>& edits, QByteArray* written)
{
    return Update(
        path, [&edits](const QByteArray&) { return edits; }, written);
}

bool Update(const QString& path, const std::function<QList<Edit>(const QByteArray&)>& decide,
            QByteArray* written)
{
    // Each round reads the file afresh; another round follows only when the
    // file was saved while this one wrote. A file that never holds still
    // for a moment is given up on.
    constexpr int kMaxRounds = 5;
    for (int round = 0; round < kMaxRounds; ++round) {
        FileReplace::Contents old;
        if (!FileReplace::ReadWhole(path, &old))
            return false;
        const QByteArray before = old.bytes.value_or(QByteArray());
        QList<Prepared> edits;
        for (const Edit& edit : decide(before)) {
            if (!HasLineBreak(edit.value))
                edits.append(Prepare(edit));
        }
        const QByteArray out = edits.isEmpty() ? before : Apply(before, edits);
        // Start-up writes back every value it has just read: rewriting (and
        // syncing) an unchanged file would only cost time.
        if (edits.isEmpty() || (old.bytes && out == before)) {
            if (written)
                *written = before;
            return true;
        }
        switch (FileReplace::Replace(path, out, old)) {
        case FileReplace::Result::Replaced:
            if (written)
                *written = out;
            return true;
        case FileReplace::Result::Failed:
            return false;
        case FileReplace::Result::Changed:
            break;
        }
    }
    return false;
}

} // namespace wibblet::ProfileFile
