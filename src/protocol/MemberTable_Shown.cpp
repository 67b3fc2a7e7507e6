// What views are shown of the member list: rows added are told to them in
// batches, so that a shown list does not lay itself out once per new host.
#include "protocol/MemberTable.h"

#include <QTimer>

#include <algorithm>

namespace wibblet {

void MemberTable::SetShowDelay(int ms)
{
    showDelay_ = std::max(0, ms);
    showTimer_->setInterval(showDelay_);
    if (showDelay_ == 0)
        ShowAdded();
}

int MemberTable::Insert(int pos, std::unique_ptr<Row> row)
{
    if (showDelay_ == 0) {
        beginInsertRows({}, pos, pos);
        Index(rows_.insert(pos, std::move(row)));
        endInsertRows();
    } else {
        Row& added = rows_.insert(pos, std::move(row));
        Index(added);
        waiting_.push_back(&added);
        waitingMoved_ = true;
        if (!showTimer_->isActive())
            showTimer_->start();
    }
    Q_EMIT CountChanged(Count());
    return pos + 1;
}

void MemberTable::ShowAdded()
{
    if (waiting_.empty())
        return;
    showTimer_->stop();
    SortWaiting();
    // From the last run of adjacent rows to the first: the rows before a
    // run are all still waiting, so its place among the shown rows is its
    // position less their number.
    while (!waitingAt_.empty()) {
        std::size_t from = waitingAt_.size() - 1;
        while (from > 0 && waitingAt_[from - 1] + 1 == waitingAt_[from])
            --from;
        const int first = waitingAt_[from] - int(from);
        beginInsertRows({}, first, first + int(waitingAt_.size() - from) - 1);
        waiting_.resize(from);
        waitingAt_.resize(from);
        endInsertRows();
    }
}

int MemberTable::RowOf(const QModelIndex& index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return -1;
    return ShownToRow(index.row()) + 1;
}

int MemberTable::ShownToRow(int shown) const
{
    if (waiting_.empty())
        return shown;
    SortWaiting();
    // Waiting row k has waitingAt_[k] - k shown rows before it: the row
    // sought comes after every waiting row with no more than shown before.
    std::size_t lo = 0;
    for (std::size_t hi = waitingAt_.size(); lo < hi;) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (waitingAt_[mid] - int(mid) <= shown)
            lo = mid + 1;
        else
            hi = mid;
    }
    return shown + int(lo);
}

void MemberTable::SortWaiting() const
{
    if (!waitingMoved_)
        return;
    waitingMoved_ = false;
    waitingAt_.clear();
    for (const Row* row : waiting_)
        waitingAt_.push_back(MemberRows::indexOf(*row));
    std::sort(waitingAt_.begin(), waitingAt_.end());
    std::sort(waiting_.begin(), waiting_.end(), [](const Row* a, const Row* b) {
        return MemberRows::indexOf(*a) < MemberRows::indexOf(*b);
    });
}

} // namespace wibblet
