#include "settings/Failure.h"
#include "settings/NumberText.h"

#include <gtest/gtest.h>

using namespace wibblet;

TEST(NumberText, ReadsWholeNumbersWithBlanksSignsAndBankersRounding)
{
    const struct {
        const char16_t* text;
        qint32 value;
    } cases[] = {
        {u"0", 0},
        {u"17", 17},
        {u"017", 17},
        {u"  42 ", 42},
        {u"+5", 5},
        {u"-5", -5},
        {u"2.5", 2},
        {u"3.5", 4},
        {u"2.6", 3},
        {u"2.50001", 3},
        {u"-2.5", -2},
        {u"-3.5", -4},
        {u".5", 0},
        {u"1.", 1},
        {u"2147483647", 2147483647},
        {u"-2147483648", INT32_MIN},
        {u"\t9\t", 9},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(ReadNumber(text), c.value) << text.toStdString();
    }
    // The NUL ends the reading even with text behind it.
    EXPECT_EQ(ReadNumber(QStringLiteral("12") + QChar(u'\0') + QStringLiteral("xyz")), 12);
    EXPECT_EQ(ReadNumber(QStringLiteral(" 7 ") + QChar(u'\0')), 7);
}

TEST(NumberText, FailsWithTypeMismatchOrOverflow)
{
    const struct {
        QString text;
        int failure;
    } cases[] = {
        {QString(), Failure::TypeMismatch},
        {QStringLiteral("   "), Failure::TypeMismatch},
        {QStringLiteral("abc"), Failure::TypeMismatch},
        {QStringLiteral("12abc"), Failure::TypeMismatch},
        {QStringLiteral("1 2"), Failure::TypeMismatch},
        {QStringLiteral("-"), Failure::TypeMismatch},
        {QStringLiteral("."), Failure::TypeMismatch},
        {QString(QChar(u'\0')) + QStringLiteral("5"), Failure::TypeMismatch},
        {QStringLiteral("2147483648"), Failure::Overflow},
        {QStringLiteral("-2147483649"), Failure::Overflow},
        {QStringLiteral("2147483647.5"), Failure::Overflow},
        {QStringLiteral("99999999999999999999999"), Failure::Overflow},
    };
    for (const auto& c : cases) {
        try {
            ReadNumber(c.text);
            ADD_FAILURE() << "no failure for " << c.text.toStdString();
        } catch (const Failure& f) {
            EXPECT_EQ(f.Number(), c.failure) << c.text.toStdString();
        }
    }
    EXPECT_EQ(ReadNumberOr(QStringLiteral("x"), -7), -7);
}
