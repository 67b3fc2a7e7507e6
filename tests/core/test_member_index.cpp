// The member table's indexes against the plain scans they replace: after
// every change, chkMember and chkPacNo must give exactly what a scan of the
// rows in their current order gives, the failure of an unreadable cell
// included.
#include "protocol/MemberTable.h"
#include "settings/Failure.h"
#include "settings/NumberText.h"
#include "settings/Settings.h"

#include <QAbstractItemModelTester>
#include <gtest/gtest.h>

#include <random>
#include <variant>

using namespace wibblet;

namespace {

using Answer = std::variant<int, std::string>; // row, or "failure N"

Answer ScanMember(const MemberTable& table, const QString& host)
{
    if (host.isEmpty())
        return -1;
    for (int row = 1; row <= table.Count(); ++row) {
        if (table.Text(row, MemberTable::ColHost) == host)
            return row;
    }
    return -1;
}

Answer ScanPacNo(const MemberTable& table, qint32 number, int column)
{
    try {
        for (int row = 1; row <= table.Count(); ++row) {
            if (ReadNumber(NzVal(table.Text(row, column))) == number)
                return row;
        }
        return -1;
    } catch (const Failure& failure) {
        return "failure " + std::to_string(failure.Number());
    }
}

Answer IndexedPacNo(const MemberTable& table, qint32 number, int column)
{
    try {
        return table.chkPacNo(number, column);
    } catch (const Failure& failure) {
        return "failure " + std::to_string(failure.Number());
    }
}

std::string Show(const Answer& a)
{
    return std::holds_alternative<int>(a) ? std::to_string(std::get<int>(a))
                                          : std::get<std::string>(a);
}

const QStringList kHosts{QStringLiteral("alpha"),
                         QStringLiteral("Alpha"),
                         QStringLiteral("beta"),
                         QStringLiteral("gamma"),
                         QStringLiteral("ホスト"),
                         QStringLiteral("delta"),
                         QString()};
// Cells as they come: empty (0), numbers written in several ways, and texts
// that fail to read (not a number, out of range).
const QStringList kCells{QString(),
                         QStringLiteral("0"),
                         QStringLiteral("12"),
                         QStringLiteral(" 12 "),
                         QStringLiteral("11.5"),
                         QStringLiteral("7"),
                         QStringLiteral("-3"),
                         QStringLiteral("abc"),
                         QStringLiteral("99999999999")};
const qint32 kNumbers[] = {0, 12, 7, -3, 5};

struct Checker {
    MemberTable& table;
    std::mt19937& random;

    QString Host()
    {
        return kHosts[int(random() % kHosts.size())] + QString::number(random() % 40);
    }

    void Check(const char* after)
    {
        for (int h = 0; h < 40; h += 3) {
            for (const QString& base : kHosts) {
                const QString host = base + QString::number(h);
                ASSERT_EQ(Show(table.chkMember(host)), Show(ScanMember(table, host)))
                    << after << " host " << host.toStdString();
            }
        }
        EXPECT_EQ(table.chkMember(QString()), -1);
        for (int column : {int(MemberTable::ColSealed), int(MemberTable::ColStandard)}) {
            for (qint32 n : kNumbers) {
                ASSERT_EQ(Show(IndexedPacNo(table, n, column)), Show(ScanPacNo(table, n, column)))
                    << after << " number " << n << " column " << column;
            }
        }
    }

    void Step()
    {
        const int count = table.Count();
        const unsigned op = random() % 100;
        if (op < 45 || count == 0) {
            table.Add(Host());
        } else if (op < 55) {
            table.Remove(int(random() % unsigned(count)) + 1);
        } else if (op < 90) {
            const int row = int(random() % unsigned(count)) + 1;
            const int column = int(random() % MemberTable::ColumnCount);
            const QString text = column == MemberTable::ColHost ? Host()
                                 : column >= MemberTable::ColSealed
                                     ? kCells[int(random() % kCells.size())]
                                     : QString::number(random() % 5);
            table.SetText(row, column, text);
        } else if (op < 95) {
            table.SetSortKey(int(random() % 4));
        } else if (op < 99) {
            table.SetSorted(!table.Sorted());
        } else {
            table.Clear();
        }
    }
};

} // namespace

TEST(MemberIndex, SmallListsAnswerLikeAScanAfterEveryChange)
{
    // Few rows, many duplicates and unreadable cells: every path of the
    // lookups, checked after each single change.
    for (unsigned seed = 1; seed <= 20; ++seed) {
        MemberTable table;
        std::mt19937 random(seed);
        Checker checker{table, random};
        for (int step = 0; step < 150; ++step) {
            checker.Step();
            checker.Check("step");
            if (testing::Test::HasFatalFailure())
                FAIL() << "seed " << seed << " step " << step;
        }
    }
}

TEST(MemberIndex, RowsShownToViewsLateChangeNoAnswerAndKeepViewsConsistent)
{
    // Added rows wait for views while other changes come and go; Qt's model
    // checker aborts on any inconsistency a view would see.
    for (unsigned seed = 1; seed <= 10; ++seed) {
        MemberTable table;
        table.SetShowDelay(60000);
        QAbstractItemModelTester tester(&table,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        std::mt19937 random(seed);
        Checker checker{table, random};
        for (int step = 0; step < 150; ++step) {
            checker.Step();
            checker.Check("step");
            for (int shown = 0; shown < table.rowCount(); ++shown) {
                const QModelIndex index = table.index(shown, MemberTable::ColHost);
                ASSERT_EQ(index.data().toString(), table.Text(table.RowOf(index), 0)) << seed;
            }
            if (step % 10 == 0)
                table.ShowAdded();
            ASSERT_FALSE(testing::Test::HasFatalFailure()) << "seed " << seed << " step " << step;
        }
    }
}

TEST(MemberIndex, LongListsAnswerLikeAScanAcrossBlockSplitsAndRebuilds)
{
    // Thousands of rows split the row blocks many times; removing most of
    // them again makes the store lay its blocks out afresh.
    MemberTable table;
    std::mt19937 random(7);
    Checker checker{table, random};
    for (int i = 0; i < 3000; ++i)
        table.Add(checker.Host() + QStringLiteral("-") + QString::number(i));
    for (int i = 0; i < 400; ++i) {
        const int row = int(random() % unsigned(table.Count())) + 1;
        table.SetText(row, MemberTable::ColStandard, QString::number(random() % 20));
    }
    checker.Check("filled");
    for (int i = 0; i < 2000; ++i) {
        checker.Step();
        if (i % 100 == 0)
            checker.Check("mixed");
    }
    checker.Check("mixed");
    while (table.Count() > 50)
        table.Remove(int(random() % unsigned(table.Count())) + 1);
    checker.Check("shrunk");
    for (int row = 1; row <= table.Count(); ++row) {
        const QString host = table.Text(row, MemberTable::ColHost);
        EXPECT_EQ(Show(table.chkMember(host)), Show(ScanMember(table, host))) << row;
    }
}

TEST(MemberIndex, AnUnreadableCellBeforeTheMatchFailsAndOneAfterItDoesNot)
{
    MemberTable table;
    table.SetSorted(false);
    for (const char* host : {"a", "b", "c"})
        table.Add(QString::fromLatin1(host));
    const struct {
        const char* cells[3];
        qint32 number;
        Answer expected;
    } cases[] = {
        {{"5", "x", "5"}, 5, 1},
        {{"x", "5", ""}, 5, std::string("failure 13")},
        {{"5", "99999999999", ""}, 0, std::string("failure 6")},
        {{"5", "", "x"}, 0, 2},
        {{"4", "6", "x"}, 5, std::string("failure 13")},
        {{"4", "6", "8"}, 5, -1},
        {{" 5 ", "5", "5"}, 5, 1},
        {{"4.5", "5.5", "6"}, 6, 2}, // halves go to the even number
    };
    for (const auto& c : cases) {
        for (int row = 1; row <= 3; ++row)
            table.SetText(row, MemberTable::ColStandard, QString::fromLatin1(c.cells[row - 1]));
        EXPECT_EQ(Show(IndexedPacNo(table, c.number, MemberTable::ColStandard)), Show(c.expected))
            << c.cells[0] << "|" << c.cells[1] << "|" << c.cells[2] << " for " << c.number;
    }
}
