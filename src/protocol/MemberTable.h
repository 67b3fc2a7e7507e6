#pragma once

#include "protocol/MemberRows.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QMultiHash>
#include <QSet>

#include <array>
#include <optional>
#include <vector>

class QTimer;

namespace wibblet {

class Program;

/// The member list: one row per host heard of, the program's only record of
/// them. Columns 0–3 are what the user sees; 4–6 are bookkeeping for sent
/// messages. Host and user names are kept cut at kMaxNameBytes (FieldLimits.h),
/// and a host name looked up is cut the same way. Row indices are 1-based
/// positions in the current order, valid only within the event that obtained
/// them.
class MemberTable : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        ColHost = 0,     ///< "ホスト名", the row's key
        ColUser = 1,     ///< "ユーザ名"
        ColPresence = 2, ///< "在席": empty, or "×" while absent
        ColIP = 3,       ///< "IP"
        ColSealed = 4,   ///< packet number of a sealed message awaiting its read notice
        ColStandard = 5, ///< packet number of a message awaiting its receipt
        ColSendTime = 6, ///< time of day that message was sent
        ColumnCount = 7,
    };

    explicit MemberTable(QObject* parent = nullptr);

    /// Number of rows.
    int Count() const { return static_cast<int>(rows_.size()); }
    /// Text of a cell; row is 1-based.
    QString Text(int row, int column) const;
    /// Sets the text of a cell; row is 1-based.
    void SetText(int row, int column, const QString& text);
    /// Adds a row with the host name as its text and the other cells empty;
    /// returns its 1-based index (sorted into place while sorting is on).
    int Add(const QString& host);
    /// Adds a host's row whole, user name and address filled in: one
    /// insertion, at the place where Add and then AddMember would leave the
    /// row of a host not yet listed. Returns its 1-based index.
    int Add(const QString& host, const QString& user, const QString& ip);
    /// Removes a row; row is 1-based.
    void Remove(int row);
    /// Removes every row.
    void Clear();

    /// The first row whose host name equals hostName, cut as rows keep it;
    /// -1 when none or when hostName is empty.
    int chkMember(const QString& hostName) const;
    /// The first row whose cell in column (4 or 5) reads as number, an empty
    /// cell counting as 0; -1 when none or when number is absent. Throws
    /// Failure 13 for a cell that is not a number.
    int chkPacNo(std::optional<qint32> number, int column) const;

    /// Whether a listed host's last entry or answer carried IP Messenger's
    /// absence option (emulation mode): iptux sets it on every presence
    /// packet, so from such a host it tells nothing. Kept beside the rows by
    /// host name, only while the host has a row; a host without one is not
    /// recorded.
    void SetAbsenceOnEntry(const QString& host, bool carried);
    bool AbsenceOnEntry(const QString& host) const;

    /// Column the rows are ordered by while sorting is on (0–3).
    void SetSortKey(int key);
    int SortKey() const { return sortKey_; }
    /// Switches ordering by the sort key on or off.
    void SetSorted(bool sorted);
    bool Sorted() const { return sorted_; }

    /// Views hear of added rows up to ms milliseconds later, many at a time
    /// (one insertion per run of adjacent rows), rather than row by row: in a
    /// storm of new hosts a shown list lays itself out once per batch, not
    /// once per host. Lookups (Count, Text, chkMember, chkPacNo) see every
    /// row at once; any other change to the rows first shows views the rows
    /// waiting. 0, the default: views hear of each row as it is added.
    void SetShowDelay(int ms);
    /// Shows views now the rows added since they were last told.
    void ShowAdded();
    /// The 1-based row of an index a view holds; -1 for an invalid one.
    int RowOf(const QModelIndex& index) const;

    // QAbstractTableModel: the rows views have been shown.
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

Q_SIGNALS:
    /// The number of rows changed.
    void CountChanged(int count);

private:
    using Row = MemberRows::Row;
    /// Rows whose packet-number cell in one column reads as each number but
    /// 0, and rows whose cell does not read as a number at all.
    struct NumberIndex {
        QHash<qint32, QSet<const Row*>> byValue;
        QSet<const Row*> unreadable;
    };

    /// Puts a new row at 0-based position pos and tells views, now or
    /// after the show delay.
    int Insert(int pos, std::unique_ptr<Row> row);
    /// Rows views have not been shown yet.
    int Unshown() const { return static_cast<int>(waiting_.size()); }
    /// The 0-based row of the row views see at shown (0-based).
    int ShownToRow(int shown) const;
    /// Orders waiting_ by position and fills waitingAt_, if rows have moved.
    void SortWaiting() const;
    void Resort();
    bool Before(const Row& a, const Row& b) const;
    /// Moves row i (0-based) to its sorted place after its key changed.
    void Reposition(int i);
    /// Adds a row to, or takes it out of, the host and number indexes.
    void Index(Row& row);
    void Unindex(const Row& row);
    void IndexNumber(Row& row, int slot);
    void UnindexNumber(const Row& row, int slot);
    /// The first row (0-based) among rows, or -1.
    static int First(const QSet<const Row*>& rows);

    MemberRows rows_;
    /// Rows by exact host name: a lookup finds its row without a scan,
    /// which keeps an entry storm cheap however long the list is. In 64
    /// hashes, chosen by the name: a hash that grows is rebuilt whole, and
    /// a storm of hosts then stalls the event loop for a 64th of the list,
    /// not for all of it.
    static constexpr int kHostShardBits = 6;
    using Hosts = QMultiHash<QString, const Row*>;
    Hosts& HostsOf(const QString& host);
    const Hosts& HostsOf(const QString& host) const;
    std::array<Hosts, 1 << kHostShardBits> hosts_;
    /// Hosts whose entry carried the absence option.
    QSet<QString> absenceOnEntry_;
    /// By packet number, for ColSealed and ColStandard.
    NumberIndex numbers_[2];
    int sortKey_ = 0;
    bool sorted_ = true;
    /// Rows added and not yet shown to views, and once sorted their
    /// positions in the same order; sorted again after rows have moved.
    mutable std::vector<const Row*> waiting_;
    mutable std::vector<int> waitingAt_;
    mutable bool waitingMoved_ = false;
    int showDelay_ = 0;
    QTimer* showTimer_ = nullptr;
};

/// Fills a newly added row from the datagram being handled: user name,
/// presence (empty) and address. Does nothing for an empty host name or a
/// host without a row.
void AddMember(const Program& program, MemberTable& members, const QString& hostname);
/// Lists a host not yet listed, its row filled from the datagram being
/// handled: the row Add and AddMember in turn would leave, in one insertion.
void AddNewMember(const Program& program, MemberTable& members, const QString& hostname);

} // namespace wibblet
