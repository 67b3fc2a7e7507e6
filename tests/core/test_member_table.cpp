#include "kit/ManualClock.h"
#include "kit/ScriptedMessageBoxes.h"
#include "kit/VirtualLan.h"
#include "protocol/MemberTable.h"
#include "protocol/Program.h"
#include "settings/Failure.h"

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <malloc.h>

#include <vector>

using namespace wibblet;

namespace {

QStringList g_modelFailures;

void CaptureModelFailures(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtDebugMsg && QByteArray(context.category) == "qt.modeltest")
        g_modelFailures << text;
}

/// A table watched by Qt's model checker for the whole test: every add,
/// remove, move and sort must keep views consistent.
class MemberTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_modelFailures.clear();
        previous_ = qInstallMessageHandler(CaptureModelFailures);
        tester_ = std::make_unique<QAbstractItemModelTester>(
            &table, QAbstractItemModelTester::FailureReportingMode::Warning);
    }
    void TearDown() override
    {
        tester_.reset();
        qInstallMessageHandler(previous_);
        EXPECT_TRUE(g_modelFailures.isEmpty()) << g_modelFailures.join('\n').toStdString();
    }

    void AddAll(const QStringList& hosts)
    {
        for (const QString& host : hosts)
            table.Add(host);
    }
    QStringList Column(int column) const
    {
        QStringList cells;
        for (int row = 1; row <= table.Count(); ++row)
            cells << table.Text(row, column);
        return cells;
    }
    /// Persistent indexes on every row; after a reorder each must still sit
    /// on its own host.
    std::vector<QPersistentModelIndex> Watch() const
    {
        std::vector<QPersistentModelIndex> watched;
        for (int row = 0; row < table.Count(); ++row)
            watched.emplace_back(table.index(row, 0));
        return watched;
    }
    void ExpectFollowed(const std::vector<QPersistentModelIndex>& watched, const QStringList& hosts)
    {
        ASSERT_EQ(watched.size(), static_cast<size_t>(hosts.size()));
        for (size_t i = 0; i < watched.size(); ++i)
            EXPECT_EQ(watched[i].data().toString(), hosts[static_cast<qsizetype>(i)]) << i;
    }

    MemberTable table;

private:
    std::unique_ptr<QAbstractItemModelTester> tester_;
    QtMessageHandler previous_ = nullptr;
};

TEST_F(MemberTableTest, ChkMemberFindsTheFirstExactHostInCurrentOrder)
{
    const struct {
        QStringList hosts;
        QString query;
        int expected;
    } cases[] = {
        {{}, QStringLiteral("PC01"), -1},
        {{}, QString(), -1},
        {{QString()}, QString(), -1}, // an empty-host row never matches
        {{QStringLiteral("pc01"), QStringLiteral("PC01")}, QStringLiteral("PC01"), 2},
        {{QStringLiteral("pc01"), QStringLiteral("PC01")}, QStringLiteral("pc01"), 1},
        {{QStringLiteral("PC01")}, QStringLiteral("Pc01"), -1},
        {{QStringLiteral("b"), QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("b"), 2},
        {{QStringLiteral("a")}, QStringLiteral("a "), -1},
    };
    for (const auto& c : cases) {
        table.Clear();
        AddAll(c.hosts);
        EXPECT_EQ(table.chkMember(c.query), c.expected)
            << c.hosts.join(',').toStdString() << " ? " << c.query.toStdString();
    }
}

TEST_F(MemberTableTest, ChkMemberFollowsRenamesAndRemovals)
{
    AddAll({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("B")});
    table.Remove(2);
    EXPECT_EQ(table.chkMember(QStringLiteral("B")), 2); // the second B is still there
    table.Remove(2);
    EXPECT_EQ(table.chkMember(QStringLiteral("B")), -1);

    table.SetText(1, MemberTable::ColHost, QStringLiteral("C"));
    EXPECT_EQ(table.chkMember(QStringLiteral("A")), -1);
    EXPECT_EQ(table.chkMember(QStringLiteral("C")), 1);

    table.Remove(0); // out of range: nothing
    table.Remove(2);
    EXPECT_EQ(table.Count(), 1);
    table.Clear();
    EXPECT_EQ(table.chkMember(QStringLiteral("C")), -1);
    table.Add(QStringLiteral("C"));
    EXPECT_EQ(table.chkMember(QStringLiteral("C")), 1);
}

TEST_F(MemberTableTest, NamesAreKeptAt255BytesAndFoundAgainByTheLongName)
{
    const QString kanji(300, QChar(0x6F22));   // two bytes each
    const QString kana(300, QChar(0xFF71));    // half-width: one byte each
    const QString emoji = QStringLiteral("😀"); // one surrogate pair
    const struct {
        QString name, kept;
    } cases[] = {
        {QString(255, u'a'), QString(255, u'a')},
        {QString(256, u'a'), QString(255, u'a')},
        {QStringLiteral("a") + kanji, QStringLiteral("a") + kanji.left(127)},
        {kanji, kanji.left(127)}, // not half a character
        {kana, kana.left(255)},
        {QString(252, u'a') + emoji, QString(252, u'a')}, // the pair stays whole
        {QString(251, u'a') + emoji, QString(251, u'a') + emoji},
    };
    for (const auto& c : cases) {
        table.Clear();
        const int row = table.Add(c.name + QStringLiteral("-and-more"));
        table.SetText(row, MemberTable::ColUser, c.name + QStringLiteral("-and-more"));
        EXPECT_EQ(table.Text(row, MemberTable::ColHost), c.kept) << c.name.size();
        EXPECT_EQ(table.Text(row, MemberTable::ColUser), c.kept) << c.name.size();
        EXPECT_EQ(table.chkMember(c.name + QStringLiteral("-or-else")), row) << c.name.size();
        EXPECT_EQ(table.chkMember(c.kept), row) << c.name.size();
    }
    // The other columns are the program's own and kept whole.
    table.SetText(1, MemberTable::ColIP, kanji);
    EXPECT_EQ(table.Text(1, MemberTable::ColIP), kanji);
}

TEST(MemberRowSize, ARowWithTheLargestNamesADatagramCarriesStaysSmall)
{
    // 32,000-byte names, as one datagram holds two of them. (Under
    // AddressSanitizer the allocator measured here is not the one in use.)
    constexpr int kRows = 2000;
    const QString filler(32000, u'n');
    MemberTable table;
    const std::size_t before = mallinfo2().uordblks;
    for (int i = 0; i < kRows; ++i) {
        const int row = table.Add(QString::number(i) + filler);
        table.SetText(row, MemberTable::ColUser, filler);
        table.SetText(row, MemberTable::ColIP, QStringLiteral("10.201.1.12"));
    }
    const std::size_t after = mallinfo2().uordblks;
    EXPECT_EQ(table.Count(), kRows);
    EXPECT_LT(double(after - before) / kRows, 1536.0);
}

TEST_F(MemberTableTest, ChkPacNoReadsCellsAsNumbersAndTakesTheFirstMatch)
{
    const struct {
        QStringList cells; // column 4 of rows h0, h1, …
        std::optional<qint32> number;
        int column;
        int expected;
    } cases[] = {
        {{}, 5, 4, -1},
        {{}, std::nullopt, 4, -1},
        {{QStringLiteral("5")}, std::nullopt, 4, -1},
        {{QStringLiteral("9"), QStringLiteral("5"), QStringLiteral("5")}, 5, 4, 2},
        {{QStringLiteral("017")}, 17, 4, 1},
        {{QString(), QStringLiteral("0")}, 0, 4, 1}, // empty reads as 0
        {{QStringLiteral("3"), QString()}, 0, 4, 2},
        {{QStringLiteral("3"), QStringLiteral("4")}, 7, 4, -1},
        {{QStringLiteral(" 8 ")}, 8, 4, 1},
        {{QStringLiteral("5")}, 5, 5, -1}, // other column: empty, reads 0
        {{QStringLiteral("5")}, 0, 5, 1},
        {{QStringLiteral("5"), QStringLiteral("junk")}, 5, 4, 1}, // match before the bad cell
    };
    for (const auto& c : cases) {
        table.Clear();
        for (qsizetype i = 0; i < c.cells.size(); ++i) {
            const int row = table.Add(QStringLiteral("h%1").arg(i));
            table.SetText(row, MemberTable::ColSealed, c.cells[i]);
        }
        EXPECT_EQ(table.chkPacNo(c.number, c.column), c.expected)
            << c.cells.join(',').toStdString() << " ? " << c.number.value_or(-99);
    }
}

TEST_F(MemberTableTest, ChkPacNoFailsOnACellThatIsNotANumber)
{
    AddAll({QStringLiteral("a"), QStringLiteral("b")});
    table.SetText(1, MemberTable::ColStandard, QStringLiteral("x1"));
    table.SetText(2, MemberTable::ColStandard, QStringLiteral("1"));
    try {
        table.chkPacNo(1, MemberTable::ColStandard);
        ADD_FAILURE() << "no failure";
    } catch (const Failure& f) {
        EXPECT_EQ(f.Number(), Failure::TypeMismatch);
    }
    EXPECT_EQ(table.chkPacNo(1, MemberTable::ColSealed), -1); // the other column is clean
}

TEST_F(MemberTableTest, SortedAddsGoToTheirPlaceAfterEqualRows)
{
    const struct {
        QString host;
        int index;
    } adds[] = {
        {QStringLiteral("m"), 1}, {QStringLiteral("B"), 1}, {QStringLiteral("a"), 1},
        {QStringLiteral("b"), 3}, {QStringLiteral("Z"), 5}, {QStringLiteral("B"), 4},
        {QString(), 1},
    };
    for (const auto& add : adds)
        EXPECT_EQ(table.Add(add.host), add.index) << add.host.toStdString();
    EXPECT_EQ(Column(0), (QStringList{QString(), "a", "B", "b", "B", "m", "Z"}));
    EXPECT_EQ(table.chkMember(QStringLiteral("b")), 4);
    EXPECT_EQ(table.chkMember(QStringLiteral("B")), 3);
    EXPECT_EQ(table.chkMember(QStringLiteral("Z")), 7);
}

TEST_F(MemberTableTest, UnsortedAddsAppendAndSortingOnSorts)
{
    table.SetSorted(false);
    EXPECT_EQ(table.Add(QStringLiteral("c")), 1);
    EXPECT_EQ(table.Add(QStringLiteral("a")), 2);
    EXPECT_EQ(table.Add(QStringLiteral("B")), 3);
    table.SetText(1, MemberTable::ColHost, QStringLiteral("d")); // no move while unsorted
    EXPECT_EQ(Column(0), (QStringList{"d", "a", "B"}));

    const auto watched = Watch();
    table.SetSorted(true);
    EXPECT_EQ(Column(0), (QStringList{"a", "B", "d"}));
    ExpectFollowed(watched, {"d", "a", "B"});
    EXPECT_EQ(table.chkMember(QStringLiteral("d")), 3);

    table.SetSorted(false); // keeps the order
    EXPECT_EQ(Column(0), (QStringList{"a", "B", "d"}));
    EXPECT_EQ(table.Add(QStringLiteral("A")), 4);
}

TEST_F(MemberTableTest, SortKeyReordersStablyAndIgnoresOtherColumns)
{
    AddAll({"h1", "h2", "h3", "h4"});
    table.SetText(1, MemberTable::ColUser, QStringLiteral("zed"));
    table.SetText(2, MemberTable::ColUser, QStringLiteral("Amy"));
    table.SetText(3, MemberTable::ColUser, QStringLiteral("bob"));
    table.SetText(4, MemberTable::ColUser, QStringLiteral("amy"));
    EXPECT_EQ(Column(0), (QStringList{"h1", "h2", "h3", "h4"})); // key 0: untouched

    const auto watched = Watch();
    table.SetSortKey(MemberTable::ColUser);
    EXPECT_EQ(table.SortKey(), MemberTable::ColUser);
    EXPECT_EQ(Column(0), (QStringList{"h2", "h4", "h3", "h1"}));
    ExpectFollowed(watched, {"h1", "h2", "h3", "h4"});
    EXPECT_EQ(table.chkMember(QStringLiteral("h1")), 4);

    for (int ignored : {-1, 4, 6, 7}) {
        table.SetSortKey(ignored);
        EXPECT_EQ(table.SortKey(), MemberTable::ColUser) << ignored;
    }
    // A new row has an empty user name and sorts first.
    EXPECT_EQ(table.Add(QStringLiteral("h0")), 1);
}

TEST_F(MemberTableTest, ChangingTheKeyCellMovesTheRow)
{
    AddAll({"b", "d", "f", "h"});
    const struct {
        int row;
        QString text;
        QStringList order;
    } steps[] = {
        {1, QStringLiteral("g"), {"d", "f", "g", "h"}}, // down
        {4, QStringLiteral("a"), {"a", "d", "f", "g"}}, // up to the top
        {2, QStringLiteral("e"), {"a", "e", "f", "g"}}, // stays
        {1, QStringLiteral("z"), {"e", "f", "g", "z"}}, // to the end
        {4, QStringLiteral("F"), {"e", "f", "F", "g"}}, // after its equal above
        {1, QStringLiteral("G"), {"f", "F", "G", "g"}}, // down, before its equal below

    };
    for (const auto& step : steps) {
        std::vector<QPersistentModelIndex> watched = Watch();
        QStringList expectedAfter = Column(0);
        expectedAfter[step.row - 1] = step.text;
        table.SetText(step.row, MemberTable::ColHost, step.text);
        EXPECT_EQ(Column(0), step.order) << step.text.toStdString();
        ExpectFollowed(watched, expectedAfter);
    }
    // Out of range: nothing.
    table.SetText(0, MemberTable::ColHost, QStringLiteral("x"));
    table.SetText(5, MemberTable::ColHost, QStringLiteral("x"));
    table.SetText(1, 7, QStringLiteral("x"));
    EXPECT_EQ(Column(0), (QStringList{"f", "F", "G", "g"}));
    EXPECT_EQ(table.Text(1, 7), QString());
}

TEST_F(MemberTableTest, CountChangedCarriesTheNewCount)
{
    QSignalSpy spy(&table, &MemberTable::CountChanged);
    table.Add(QStringLiteral("a"));
    table.Add(QStringLiteral("b"));
    table.Remove(3); // out of range: no signal
    table.Remove(1);
    table.SetText(1, MemberTable::ColUser, QStringLiteral("u")); // not a count change
    table.Add(QStringLiteral("c"));
    table.Clear();
    table.Clear(); // already empty
    QList<int> counts;
    for (const auto& args : spy)
        counts << args.at(0).toInt();
    EXPECT_EQ(counts, (QList<int>{1, 2, 1, 2, 0}));
}

TEST_F(MemberTableTest, ModelShowsCellsHeadersAndCentredPresence)
{
    table.Add(QStringLiteral("PC01"));
    QSignalSpy changes(&table, &QAbstractItemModel::dataChanged);
    table.SetText(1, MemberTable::ColPresence, QStringLiteral("×"));
    ASSERT_EQ(changes.count(), 1); // views repaint the cell on this alone
    EXPECT_EQ(changes.at(0).at(0).toModelIndex(), table.index(0, 2));
    EXPECT_EQ(changes.at(0).at(1).toModelIndex(), table.index(0, 2));
    EXPECT_EQ(table.columnCount(), 7);
    EXPECT_EQ(table.data(table.index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("PC01"));
    EXPECT_EQ(table.data(table.index(0, 2), Qt::DisplayRole).toString(), QStringLiteral("×"));

    const QStringList titles{"ホスト名",     "ユーザ名",     "在席",    "IP",
                             "封書パケット", "標準パケット", "送信時刻"};
    const int left = Qt::AlignLeft | Qt::AlignVCenter;
    for (int column = 0; column < 7; ++column) {
        EXPECT_EQ(table.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(),
                  titles[column]);
        const int cell = table.data(table.index(0, column), Qt::TextAlignmentRole).toInt();
        EXPECT_EQ(cell, column == 2 ? int(Qt::AlignCenter) : left) << column;
    }
    EXPECT_EQ(table.headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignCenter));
}

class AddMemberTest : public MemberTableTest {
protected:
    AddMemberTest()
        : socket(lan.CreateSocket(QStringLiteral("PC01"), QStringLiteral("10.0.0.1"))),
          program(*socket, boxes, clock)
    {
        program.senderName = QStringLiteral("Alice");
        program.senderAddress = QStringLiteral("10.0.0.7");
    }

    VirtualLan lan;
    std::unique_ptr<VirtualSocket> socket;
    ScriptedMessageBoxes boxes;
    ManualClock clock{QDateTime::currentDateTime()};
    Program program;
};

TEST_F(AddMemberTest, FillsTheHostsRowFromTheSenderWhateverTheSortKey)
{
    const auto set = [this](const QString& host, int column, const QString& text) {
        table.SetText(table.chkMember(host), column, text);
    };
    for (int key : {0, 1, 2, 3}) {
        table.Clear();
        table.SetSortKey(key);
        AddAll({"a", "b", "c"});
        // Filling b moves it between a and c under keys 1 and 3, so a cell
        // written after the move must still reach b.
        set("a", MemberTable::ColUser, "Aaron");
        set("a", MemberTable::ColIP, "10.0.0.5");
        set("c", MemberTable::ColUser, "Bob");
        set("c", MemberTable::ColIP, "10.0.0.9");
        set("b", MemberTable::ColPresence, "×");

        AddMember(program, table, QStringLiteral("b"));
        const struct {
            QString host, user, presence, ip;
        } rows[] = {
            {"a", "Aaron", "", "10.0.0.5"},
            {"b", "Alice", "", "10.0.0.7"},
            {"c", "Bob", "", "10.0.0.9"},
        };
        for (const auto& r : rows) {
            const int row = table.chkMember(r.host);
            EXPECT_EQ(table.Text(row, MemberTable::ColUser), r.user) << key;
            EXPECT_EQ(table.Text(row, MemberTable::ColPresence), r.presence) << key;
            EXPECT_EQ(table.Text(row, MemberTable::ColIP), r.ip) << key;
        }
        if (key == MemberTable::ColUser || key == MemberTable::ColIP) {
            EXPECT_EQ(Column(0), (QStringList{"a", "b", "c"})) << key;
        }
    }
}

TEST_F(AddMemberTest, IgnoresEmptyAndUnknownHosts)
{
    table.Add(QString());
    table.Add(QStringLiteral("PC02"));
    QSignalSpy changes(&table, &QAbstractItemModel::dataChanged);
    AddMember(program, table, QString());
    AddMember(program, table, QStringLiteral("pc02"));
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(Column(MemberTable::ColUser), (QStringList{QString(), QString()}));
}

} // namespace

TEST_F(AddMemberTest, AWholeRowLandsWhereAddAndAddMemberLeaveIt)
{
    // Ties by case, empty names and addresses, under every key, sorted or not.
    const struct {
        QString host, user, ip;
    } senders[] = {
        {"m", "Bob", "10.0.0.9"}, {"M", "", "10.0.0.2"},    {"a", "bob", ""},
        {"", "Zed", "10.0.0.1"},  {"z", "Amy", "10.0.0.9"}, {"b", "", ""},
        {"c", "BOB", "10.0.0.2"},
    };
    for (bool sorted : {true, false}) {
        for (int key : {0, 1, 2, 3}) {
            MemberTable byCells;
            byCells.SetSortKey(key);
            byCells.SetSorted(sorted);
            table.Clear();
            table.SetSortKey(key);
            table.SetSorted(sorted);
            for (const auto& s : senders) {
                program.senderName = s.user;
                program.senderAddress = s.ip;
                byCells.Add(s.host);
                AddMember(program, byCells, s.host);
                AddNewMember(program, table, s.host);
            }
            for (int column = 0; column < MemberTable::ColumnCount; ++column) {
                QStringList expected;
                for (int row = 1; row <= byCells.Count(); ++row)
                    expected << byCells.Text(row, column);
                EXPECT_EQ(Column(column), expected) << sorted << key << column;
            }
        }
    }
}

TEST_F(MemberTableTest, DelayedRowsReachViewsInRunsWhileLookupsSeeThemAtOnce)
{
    AddAll({"b", "d"});
    table.SetShowDelay(60000);
    QSignalSpy inserted(&table, &QAbstractItemModel::rowsInserted);
    QSignalSpy counts(&table, &MemberTable::CountChanged);
    AddAll({"e", "a", "c", "f"});
    EXPECT_EQ(counts.count(), 4);
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(table.Count(), 6);
    EXPECT_EQ(table.chkMember(QStringLiteral("f")), 6);
    // Views see b and d alone, and their indexes lead to those rows.
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.index(1, 0).data().toString(), QStringLiteral("d"));
    EXPECT_EQ(table.RowOf(table.index(1, 0)), 4);
    EXPECT_EQ(table.RowOf(QModelIndex()), -1);

    table.ShowAdded(); // a, c and e-f: three runs
    ASSERT_EQ(inserted.count(), 3);
    EXPECT_EQ(table.rowCount(), 6);
    for (int row = 0; row < 6; ++row) {
        EXPECT_EQ(table.index(row, 0).data().toString(), Column(0)[row]);
        EXPECT_EQ(table.RowOf(table.index(row, 0)), row + 1);
    }

    // Any other change shows the rows waiting first; so does the delay's end.
    const std::vector<QPersistentModelIndex> watched = Watch();
    table.Add(QStringLiteral("bb"));
    table.SetText(1, MemberTable::ColUser, QStringLiteral("u"));
    EXPECT_EQ(table.rowCount(), 7);
    table.Add(QStringLiteral("cc"));
    table.Remove(1);
    EXPECT_EQ(table.rowCount(), 7);
    ExpectFollowed({watched.begin() + 1, watched.end()}, {"b", "c", "d", "e", "f"});
    table.SetShowDelay(1);
    table.Add(QStringLiteral("g"));
    EXPECT_EQ(table.rowCount(), 7);
    EXPECT_TRUE(inserted.wait(1000));
    EXPECT_EQ(table.rowCount(), 8);
}
