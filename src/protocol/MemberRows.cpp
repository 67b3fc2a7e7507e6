#include "protocol/MemberRows.h"

#include <algorithm>

namespace wibblet {

namespace {

// Blocks split when they pass kMaxBlock rows and are laid out kFill full;
// about the square root of the largest lists expected keeps both the work
// inside a block and the walk over the blocks short.
constexpr std::size_t kMaxBlock = 512;
constexpr std::size_t kFill = 256;

} // namespace

MemberRows::~MemberRows()
{
    clear();
}

MemberRows::Row& MemberRows::at(int i) const
{
    const Block& block = *blocks_[BlockAt(i)];
    return *block.rows[std::size_t(i - block.start)];
}

int MemberRows::indexOf(const Row& row)
{
    return row.block->start + row.slot;
}

std::size_t MemberRows::BlockAt(int i) const
{
    // Blocks are never empty, so their starts rise strictly.
    const auto it = std::upper_bound(blocks_.cbegin(), blocks_.cend(), i,
                                     [](int pos, const auto& block) { return pos < block->start; });
    return std::size_t(it - blocks_.cbegin()) - 1;
}

void MemberRows::Shift(std::size_t fromBlock, int delta)
{
    for (std::size_t b = fromBlock; b < blocks_.size(); ++b)
        blocks_[b]->start += delta;
}

MemberRows::Row& MemberRows::insert(int i, std::unique_ptr<Row> owned)
{
    Row* row = owned.release();
    if (blocks_.empty())
        blocks_.push_back(std::make_unique<Block>());
    // Appending goes to the last block; otherwise the row takes the place of
    // the one now at i.
    const std::size_t b = i >= size_ ? blocks_.size() - 1 : BlockAt(i);
    Block& block = *blocks_[b];
    const std::size_t slot = std::min(std::size_t(i - block.start), block.rows.size());
    block.rows.insert(block.rows.begin() + std::ptrdiff_t(slot), row);
    row->block = &block;
    for (std::size_t k = slot; k < block.rows.size(); ++k)
        block.rows[k]->slot = int(k);
    ++size_;
    Shift(b + 1, +1);
    if (block.rows.size() > kMaxBlock)
        Split(b);
    return *row;
}

std::unique_ptr<MemberRows::Row> MemberRows::take(int i)
{
    const std::size_t b = BlockAt(i);
    Block& block = *blocks_[b];
    const std::size_t slot = std::size_t(i - block.start);
    std::unique_ptr<Row> row(block.rows[slot]);
    block.rows.erase(block.rows.begin() + std::ptrdiff_t(slot));
    for (std::size_t k = slot; k < block.rows.size(); ++k)
        block.rows[k]->slot = int(k);
    --size_;
    Shift(b + 1, -1);
    row->block = nullptr;
    if (block.rows.empty())
        blocks_.erase(blocks_.begin() + std::ptrdiff_t(b));
    // Removals leave blocks half empty; once there are far more blocks than
    // the rows need, lay them out afresh.
    if (blocks_.size() > 8 && blocks_.size() > 4 * (std::size_t(size_) / kFill + 1))
        Rebuild(Release());
    return row;
}

void MemberRows::clear()
{
    for (Row* row : Release())
        delete row;
}

void MemberRows::reorder(const std::vector<int>& order)
{
    const std::vector<Row*> old = Release();
    std::vector<Row*> rows;
    rows.reserve(old.size());
    for (int from : order)
        rows.push_back(old[std::size_t(from)]);
    Rebuild(std::move(rows));
}

void MemberRows::Split(std::size_t b)
{
    Block& block = *blocks_[b];
    const std::size_t half = block.rows.size() / 2;
    auto next = std::make_unique<Block>();
    next->start = block.start + int(half);
    next->rows.assign(block.rows.begin() + std::ptrdiff_t(half), block.rows.end());
    block.rows.resize(half);
    for (std::size_t k = 0; k < next->rows.size(); ++k) {
        next->rows[k]->block = next.get();
        next->rows[k]->slot = int(k);
    }
    blocks_.insert(blocks_.begin() + std::ptrdiff_t(b + 1), std::move(next));
}

std::vector<MemberRows::Row*> MemberRows::Release()
{
    std::vector<Row*> rows;
    rows.reserve(std::size_t(size_));
    for (const auto& block : blocks_)
        rows.insert(rows.end(), block->rows.begin(), block->rows.end());
    blocks_.clear();
    size_ = 0;
    return rows;
}

void MemberRows::Rebuild(std::vector<Row*> rows)
{
    blocks_.clear();
    size_ = int(rows.size());
    for (std::size_t from = 0; from < rows.size(); from += kFill) {
        auto block = std::make_unique<Block>();
        block->start = int(from);
        const std::size_t to = std::min(rows.size(), from + kFill);
        block->rows.assign(rows.begin() + std::ptrdiff_t(from), rows.begin() + std::ptrdiff_t(to));
        for (std::size_t k = 0; k < block->rows.size(); ++k) {
            block->rows[k]->block = block.get();
            block->rows[k]->slot = int(k);
        }
        blocks_.push_back(std::move(block));
    }
}

} // namespace wibblet
