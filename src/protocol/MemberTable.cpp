#include "protocol/MemberTable.h"

#include "protocol/FieldLimits.h"
#include "protocol/Program.h"
#include "settings/Failure.h"
#include "settings/NumberText.h"
#include "settings/Settings.h"

#include <QTimer>

#include <algorithm>
#include <numeric>
#include <utility>

namespace wibblet {

namespace {

bool InRange(int column)
{
    return column >= 0 && column < MemberTable::ColumnCount;
}

// Slot of a packet-number column in the row's cached readings; -1 for others.
int NumberSlot(int column)
{
    return column == MemberTable::ColSealed ? 0 : column == MemberTable::ColStandard ? 1 : -1;
}

// A name as a row keeps it, and as a lookup compares it: a datagram's
// 32,000-byte name costs a row no more than a real one, and is found again by
// the same long name.
QString RowText(int column, const QString& text)
{
    if (column != MemberTable::ColHost && column != MemberTable::ColUser)
        return text;
    return CutToBytes(text, kMaxNameBytes);
}

// A number this many rows share (one message sent to many hosts) is found
// sooner by walking the list from the top.
constexpr qsizetype kWalkBucket = 32;

} // namespace

MemberTable::MemberTable(QObject* parent)
    : QAbstractTableModel(parent),
      showTimer_(new QTimer(this))
{
    showTimer_->setSingleShot(true);
    connect(showTimer_, &QTimer::timeout, this, &MemberTable::ShowAdded);
}

QString MemberTable::Text(int row, int column) const
{
    if (row < 1 || row > Count() || !InRange(column))
        return {};
    return rows_.at(row - 1).cells[column];
}

void MemberTable::SetText(int row, int column, const QString& text)
{
    if (row < 1 || row > Count() || !InRange(column))
        return;
    const QString kept = RowText(column, text);
    const int i = row - 1;
    Row& r = rows_.at(i);
    QString& cell = r.cells[column];
    if (cell == kept)
        return;
    // Views are told of the change by row: they must know every row first.
    ShowAdded();
    const int slot = NumberSlot(column);
    if (column == ColHost) {
        HostsOf(cell).remove(cell, &r);
        if (!HostsOf(cell).contains(cell))
            absenceOnEntry_.remove(cell);
    } else if (slot >= 0) {
        UnindexNumber(r, slot);
    }
    cell = kept;
    if (column == ColHost)
        HostsOf(cell).insert(cell, &r);
    else if (slot >= 0)
        IndexNumber(r, slot);
    const QModelIndex changed = index(i, column);
    Q_EMIT dataChanged(changed, changed);
    if (sorted_ && column == sortKey_)
        Reposition(i);
}

int MemberTable::Add(const QString& host)
{
    return Add(host, QString(), QString());
}

int MemberTable::Add(const QString& host, const QString& user, const QString& ip)
{
    auto row = std::make_unique<Row>();
    row->cells[ColHost] = RowText(ColHost, host);
    row->cells[ColUser] = RowText(ColUser, user);
    row->cells[ColIP] = ip;
    int pos = Count();
    if (sorted_) {
        // Upper bound: a row added with only its host name goes after the
        // rows it ties with; a key filled in later moves it only when it
        // changed, and then from among the empty keys (which sort first) to
        // before its new equals, so a whole row goes there at once.
        const QString alone = sortKey_ == ColHost ? row->cells[ColHost] : QString();
        if (row->cells[sortKey_] == alone)
            pos = rows_.partitionPoint([this, &row](const Row& r) { return !Before(*row, r); });
        else
            pos = rows_.partitionPoint([this, &row](const Row& r) { return Before(r, *row); });
    }
    return Insert(pos, std::move(row));
}

void MemberTable::Remove(int row)
{
    if (row < 1 || row > Count())
        return;
    const int i = row - 1;
    ShowAdded();
    beginRemoveRows({}, i, i);
    Unindex(rows_.at(i));
    const std::unique_ptr<Row> removed = rows_.take(i);
    if (!HostsOf(removed->cells[ColHost]).contains(removed->cells[ColHost]))
        absenceOnEntry_.remove(removed->cells[ColHost]);
    endRemoveRows();
    Q_EMIT CountChanged(Count());
}

void MemberTable::Clear()
{
    if (Count() == 0)
        return;
    beginResetModel();
    for (Hosts& hosts : hosts_)
        hosts.clear();
    absenceOnEntry_.clear();
    for (NumberIndex& index : numbers_)
        index = {};
    rows_.clear();
    waiting_.clear();
    waitingAt_.clear();
    showTimer_->stop();
    endResetModel();
    Q_EMIT CountChanged(0);
}

int MemberTable::chkMember(const QString& hostName) const
{
    if (hostName.isEmpty())
        return -1;
    // Usually one row per host; when a host was listed twice, the first.
    int first = -1;
    const QString host = RowText(ColHost, hostName);
    const auto [from, to] = HostsOf(host).equal_range(host);
    for (auto it = from; it != to; ++it) {
        const int i = MemberRows::indexOf(**it);
        if (first < 0 || i < first)
            first = i;
    }
    return first < 0 ? -1 : first + 1;
}

int MemberTable::chkPacNo(std::optional<qint32> number, int column) const
{
    if (!number)
        return -1;
    const int slot = NumberSlot(column);
    if (slot < 0) {
        // A scan in order: a cell that is not a number must fail even when
        // a later row would match, so no shortcut by value.
        for (int i = 0; i < Count(); ++i) {
            if (ReadNumber(NzVal(Text(i + 1, column))) == *number)
                return i + 1;
        }
        return -1;
    }

    // The same answer as that scan: the first matching row, unless an
    // unreadable cell comes before it.
    const NumberIndex& index = numbers_[slot];
    // 0, which every empty cell reads as, is not indexed: nearly every row
    // has it, and the first is near the top.
    const auto bucket = *number == 0 ? index.byValue.cend() : index.byValue.constFind(*number);
    if (*number == 0 || (bucket != index.byValue.cend() && bucket->size() > kWalkBucket)) {
        int found = -1;
        int failure = 0;
        int i = 0;
        rows_.forEach([&](const Row& row) {
            if (row.failure[slot] != 0)
                failure = row.failure[slot];
            else if (row.number[slot] == *number)
                found = i + 1;
            ++i;
            return failure == 0 && found < 0;
        });
        if (failure != 0)
            throw Failure(failure);
        return found;
    }
    const int match = bucket == index.byValue.cend() ? -1 : First(*bucket);
    const int unreadable = First(index.unreadable);
    if (unreadable >= 0 && (match < 0 || unreadable < match))
        throw Failure(rows_.at(unreadable).failure[slot]);
    return match < 0 ? -1 : match + 1;
}

void MemberTable::SetAbsenceOnEntry(const QString& host, bool carried)
{
    if (!carried)
        absenceOnEntry_.remove(RowText(ColHost, host));
    else if (chkMember(host) >= 1)
        absenceOnEntry_.insert(RowText(ColHost, host));
}

bool MemberTable::AbsenceOnEntry(const QString& host) const
{
    return absenceOnEntry_.contains(RowText(ColHost, host));
}

MemberTable::Hosts& MemberTable::HostsOf(const QString& host)
{
    return const_cast<Hosts&>(std::as_const(*this).HostsOf(host));
}

const MemberTable::Hosts& MemberTable::HostsOf(const QString& host) const
{
    // By the top bits of the name's hash: a hash picks its buckets by the
    // bottom ones, which the names in one shard then do not all share.
    return hosts_[qHash(host) >> (8 * sizeof(std::size_t) - kHostShardBits)];
}

int MemberTable::First(const QSet<const Row*>& rows)
{
    int first = -1;
    for (const Row* row : rows) {
        const int i = MemberRows::indexOf(*row);
        if (first < 0 || i < first)
            first = i;
    }
    return first;
}

void MemberTable::Index(Row& row)
{
    HostsOf(row.cells[ColHost]).insert(row.cells[ColHost], &row);
    IndexNumber(row, 0);
    IndexNumber(row, 1);
}

void MemberTable::Unindex(const Row& row)
{
    HostsOf(row.cells[ColHost]).remove(row.cells[ColHost], &row);
    UnindexNumber(row, 0);
    UnindexNumber(row, 1);
}

void MemberTable::IndexNumber(Row& row, int slot)
{
    // Read once here, as chkPacNo would read it.
    const QString& cell = row.cells[slot == 0 ? ColSealed : ColStandard];
    row.failure[slot] = 0;
    try {
        row.number[slot] = ReadNumber(NzVal(cell));
    } catch (const Failure& failure) {
        row.failure[slot] = failure.Number();
    }
    // Not 0: a set of nearly every row would cost the list a hash the size
    // of it, rebuilt whole (an event-loop stall) each time it doubles.
    if (row.failure[slot] != 0)
        numbers_[slot].unreadable.insert(&row);
    else if (row.number[slot] != 0)
        numbers_[slot].byValue[row.number[slot]].insert(&row);
}

void MemberTable::UnindexNumber(const Row& row, int slot)
{
    NumberIndex& index = numbers_[slot];
    if (row.failure[slot] != 0) {
        index.unreadable.remove(&row);
        return;
    }
    const auto bucket = index.byValue.find(row.number[slot]);
    if (bucket == index.byValue.end())
        return;
    bucket->remove(&row);
    if (bucket->isEmpty())
        index.byValue.erase(bucket);
}

void MemberTable::SetSortKey(int key)
{
    if (key < ColHost || key > ColIP || key == sortKey_)
        return;
    sortKey_ = key;
    if (sorted_)
        Resort();
}

void MemberTable::SetSorted(bool sorted)
{
    if (sorted == sorted_)
        return;
    sorted_ = sorted;
    if (sorted_)
        Resort();
}

int MemberTable::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count() - Unshown();
}

int MemberTable::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MemberTable::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return rows_.at(ShownToRow(index.row())).cells[index.column()];
    case Qt::TextAlignmentRole:
        return static_cast<int>(index.column() == ColPresence
                                    ? Qt::Alignment(Qt::AlignCenter)
                                    : Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
        return {};
    }
}

QVariant MemberTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || !InRange(section))
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) {
        static const QStringList titles{
            QStringLiteral("ホスト名"),     QStringLiteral("ユーザ名"),
            QStringLiteral("在席"),         QStringLiteral("IP"),
            QStringLiteral("封書パケット"), QStringLiteral("標準パケット"),
            QStringLiteral("送信時刻"),
        };
        return titles[section];
    }
    if (role == Qt::TextAlignmentRole && section == ColPresence)
        return static_cast<int>(Qt::AlignCenter);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void MemberTable::Resort()
{
    const int n = Count();
    std::vector<const Row*> rows;
    rows.reserve(std::size_t(n));
    rows_.forEach([&rows](const Row& row) {
        rows.push_back(&row);
        return true;
    });
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this, &rows](int a, int b) { return Before(*rows[a], *rows[b]); });
    if (std::is_sorted(order.cbegin(), order.cend()))
        return;

    // Persistent indexes are moved by row: views must know every row first.
    ShowAdded();
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRow(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        newRow[std::size_t(order[std::size_t(i)])] = i;
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& old : from)
        to.append(index(newRow[std::size_t(old.row())], old.column()));
    changePersistentIndexList(from, to);
    rows_.reorder(order);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool MemberTable::Before(const Row& a, const Row& b) const
{
    return QString::compare(a.cells[sortKey_], b.cells[sortKey_], Qt::CaseInsensitive) < 0;
}

void MemberTable::Reposition(int i)
{
    // The other rows are in order; the row goes among its equals where a
    // stable sort of the whole list would put it, i.e. as near its old place
    // as the order allows. Positions below count the list without the row.
    const Row& row = rows_.at(i);
    const int others = Count() - 1;
    const auto other = [this, i](int k) -> const Row& { return rows_.at(k < i ? k : k + 1); };
    int lo = 0;
    for (int hi = others; lo < hi;) {
        const int mid = lo + (hi - lo) / 2;
        if (Before(other(mid), row))
            lo = mid + 1;
        else
            hi = mid;
    }
    int hi = lo;
    for (int top = others; hi < top;) {
        const int mid = hi + (top - hi) / 2;
        if (Before(row, other(mid)))
            top = mid;
        else
            hi = mid + 1;
    }
    const int target = std::clamp(i, lo, hi);
    if (target == i)
        return;
    beginMoveRows({}, i, i, {}, target > i ? target + 1 : target);
    rows_.insert(target, rows_.take(i));
    endMoveRows();
}

void AddMember(const Program& program, MemberTable& members, const QString& hostname)
{
    if (hostname.isEmpty())
        return;
    const int row = members.chkMember(hostname);
    if (row < 0)
        return;
    const QString values[] = {program.senderName, QString(), program.senderAddress};
    const int columns[] = {MemberTable::ColUser, MemberTable::ColPresence, MemberTable::ColIP};
    // A cell in the sort column may move the row, so that one is written
    // last, after every other cell has reached the same row.
    int keyed = -1;
    for (int k = 0; k < 3; ++k) {
        if (members.Sorted() && columns[k] == members.SortKey())
            keyed = k;
        else
            members.SetText(row, columns[k], values[k]);
    }
    if (keyed >= 0)
        members.SetText(row, columns[keyed], values[keyed]);
}

void AddNewMember(const Program& program, MemberTable& members, const QString& hostname)
{
    // AddMember leaves the row of an empty host name empty.
    if (hostname.isEmpty())
        members.Add(hostname);
    else
        members.Add(hostname, program.senderName, program.senderAddress);
}

} // namespace wibblet
