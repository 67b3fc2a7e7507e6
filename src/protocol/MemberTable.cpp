#include "protocol/MemberTable.h"

#include "settings/NumberText.h"
#include "settings/Program.h"
#include "settings/Settings.h"

#include <algorithm>
#include <numeric>

namespace wibblet {

namespace {

bool InRange(int column)
{
    return column >= 0 && column < MemberTable::ColumnCount;
}

} // namespace

MemberTable::MemberTable(QObject* parent) : QAbstractTableModel(parent) {}

QString MemberTable::Text(int row, int column) const
{
    if (row < 1 || row > Count() || !InRange(column))
        return {};
    return rows_[row - 1][column];
}

void MemberTable::SetText(int row, int column, const QString& text)
{
    if (row < 1 || row > Count() || !InRange(column))
        return;
    const int i = row - 1;
    QString& cell = rows_[i][column];
    if (cell == text)
        return;
    if (column == ColHost) {
        CountHost(cell, -1);
        CountHost(text, +1);
    }
    cell = text;
    const QModelIndex changed = index(i, column);
    Q_EMIT dataChanged(changed, changed);
    if (sorted_ && column == sortKey_)
        Reposition(i);
}

int MemberTable::Add(const QString& host)
{
    QStringList row(ColumnCount);
    row[ColHost] = host;
    int pos = Count();
    if (sorted_) {
        // Upper bound: a new row goes after the rows it ties with.
        const auto it = std::upper_bound(
            rows_.cbegin(), rows_.cend(), row,
            [this](const QStringList& a, const QStringList& b) { return Before(a, b); });
        pos = static_cast<int>(it - rows_.cbegin());
    }
    beginInsertRows({}, pos, pos);
    rows_.insert(pos, row);
    CountHost(host, +1);
    endInsertRows();
    Q_EMIT CountChanged(Count());
    return pos + 1;
}

void MemberTable::Remove(int row)
{
    if (row < 1 || row > Count())
        return;
    const int i = row - 1;
    beginRemoveRows({}, i, i);
    CountHost(rows_[i][ColHost], -1);
    rows_.removeAt(i);
    endRemoveRows();
    Q_EMIT CountChanged(Count());
}

void MemberTable::Clear()
{
    if (rows_.isEmpty())
        return;
    beginResetModel();
    rows_.clear();
    hostCount_.clear();
    endResetModel();
    Q_EMIT CountChanged(0);
}

int MemberTable::chkMember(const QString& hname) const
{
    if (hname.isEmpty() || !hostCount_.contains(hname))
        return -1;
    for (int i = 0; i < Count(); ++i) {
        if (rows_[i][ColHost] == hname)
            return i + 1;
    }
    return -1;
}

int MemberTable::chkPacNo(std::optional<qint32> number, int column) const
{
    if (!number)
        return -1;
    // A scan in order: a cell that is not a number must fail even when a
    // later row would match, so no shortcut by value.
    for (int i = 0; i < Count(); ++i) {
        if (ReadNumber(NzVal(rows_[i].value(column))) == *number)
            return i + 1;
    }
    return -1;
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
    return parent.isValid() ? 0 : Count();
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
        return rows_[index.row()][index.column()];
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
    QList<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return Before(rows_[a], rows_[b]); });
    if (std::is_sorted(order.cbegin(), order.cend()))
        return;

    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<int> newRow(n);
    QList<QStringList> sorted;
    sorted.reserve(n);
    for (int i = 0; i < n; ++i) {
        newRow[order[i]] = i;
        sorted.append(rows_[order[i]]);
    }
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& old : from)
        to.append(index(newRow[old.row()], old.column()));
    changePersistentIndexList(from, to);
    rows_ = std::move(sorted);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool MemberTable::Before(const QStringList& a, const QStringList& b) const
{
    return QString::compare(a[sortKey_], b[sortKey_], Qt::CaseInsensitive) < 0;
}

void MemberTable::Reposition(int i)
{
    // The other rows are in order; the row goes among its equals where a
    // stable sort of the whole list would put it, i.e. as near its old place
    // as the order allows.
    const QStringList row = rows_.takeAt(i);
    const auto before = [this](const QStringList& a, const QStringList& b) { return Before(a, b); };
    const auto lo = std::lower_bound(rows_.cbegin(), rows_.cend(), row, before) - rows_.cbegin();
    const auto hi = std::upper_bound(rows_.cbegin(), rows_.cend(), row, before) - rows_.cbegin();
    rows_.insert(i, row);
    const int target = static_cast<int>(std::clamp<qsizetype>(i, lo, hi));
    if (target == i)
        return;
    beginMoveRows({}, i, i, {}, target > i ? target + 1 : target);
    rows_.move(i, target);
    endMoveRows();
}

void MemberTable::CountHost(const QString& host, int delta)
{
    int& count = hostCount_[host];
    count += delta;
    if (count <= 0)
        hostCount_.remove(host);
}

void AddMember(const Program& program, MemberTable& members, const QString& hostname)
{
    if (hostname.isEmpty())
        return;
    const int r = members.chkMember(hostname);
    if (r < 0)
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
            members.SetText(r, columns[k], values[k]);
    }
    if (keyed >= 0)
        members.SetText(r, columns[keyed], values[keyed]);
}

} // namespace wibblet
