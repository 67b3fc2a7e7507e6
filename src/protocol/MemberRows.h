#pragma once

#include <QString>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace wibblet {

/// The member list's rows in their order. Rows stay at one address while
/// they are in the list, and a row's position is found without a search, so
/// indexes can point at rows. Rows sit in blocks of a few hundred: inserting,
/// removing or finding a position costs a block's worth of work, not the
/// whole list's, which keeps an entry storm cheap at tens of thousands of
/// hosts.
class MemberRows {
    struct Block;

public:
    static constexpr int kColumns = 7;

    struct Row {
        std::array<QString, kColumns> cells;
        /// The two packet-number columns as the member table reads them: the
        /// number, or the failure that reading throws (0 for none).
        std::array<qint32, 2> number{};
        std::array<int, 2> failure{};

    private:
        friend class MemberRows;
        Block* block = nullptr;
        int slot = 0;
    };

    MemberRows() = default;
    ~MemberRows();
    MemberRows(const MemberRows&) = delete;
    MemberRows& operator=(const MemberRows&) = delete;

    int size() const { return size_; }
    /// The row at a 0-based position.
    Row& at(int i) const;
    /// The 0-based position of a row in the list.
    static int indexOf(const Row& row);
    /// Inserts a row before position i (i == size() appends).
    Row& insert(int i, std::unique_ptr<Row> row);
    /// Removes the row at position i and hands it back.
    std::unique_ptr<Row> take(int i);
    void clear();
    /// Puts the rows in a new order: order[k] is the current position of
    /// the row that goes to position k.
    void reorder(const std::vector<int>& order);

    /// The first position whose row fails pred, for a pred that holds for
    /// a leading run of rows and for none after it (a binary search).
    template <typename Pred> int partitionPoint(Pred pred) const
    {
        // First the block, by its first row; then the row inside it.
        const auto block =
            std::partition_point(blocks_.cbegin(), blocks_.cend(),
                                 [&pred](const auto& b) { return pred(*b->rows.front()); });
        if (block == blocks_.cbegin())
            return 0;
        const Block& inside = **(block - 1);
        const auto row = std::partition_point(inside.rows.cbegin(), inside.rows.cend(),
                                              [&pred](const Row* r) { return pred(*r); });
        return inside.start + int(row - inside.rows.cbegin());
    }

    /// Calls visit(row) in order until it returns false.
    template <typename Visit> void forEach(Visit visit) const
    {
        for (const auto& block : blocks_) {
            for (Row* row : block->rows) {
                if (!visit(*row))
                    return;
            }
        }
    }

private:
    struct Block {
        int start = 0;
        std::vector<Row*> rows;
    };

    std::size_t BlockAt(int i) const;
    void Shift(std::size_t fromBlock, int delta);
    void Split(std::size_t b);
    /// Lays the rows out again in full blocks.
    void Rebuild(std::vector<Row*> rows);
    std::vector<Row*> Release();

    std::vector<std::unique_ptr<Block>> blocks_;
    int size_ = 0;
};

} // namespace wibblet
