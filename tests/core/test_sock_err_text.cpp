#include "settings/SockErrText.h"

#include <gtest/gtest.h>

using wibblet::SockErrText;

TEST(SockErrText, EveryNumberGivesItsExactExplanation)
{
    // What the user reads, byte for byte: trailing blanks and full-width commas included.
    const struct {
        const char* number;
        const char16_t* result;
    } table[] = {
        {"10004", u"(10004:処理がキャンセルされた )"},
        {"10013",
         u"(10013:要求されたアドレスはブロードキャストアドレスだが，フラグが設定されていない )"},
        {"10014", u"(10014:無効な引数 (間違ったアドレスを指定した等))"},
        {"10022",
         u"(10022:ソケットが設定されないので，無効なアドレスや Listen は受諾前に呼び出されない )"},
        {"10024", u"(10024:利用できるファイル記述子がない。受け付けキューが空である )"},
        {"10035", u"(10035:ソケットは非ブロッキングで，指定の処理はブロックされる )"},
        {"10036", u"(10036:Winsock のブロッキング処理が進行中 )"},
        {"10037", u"(10037:処理が完了した。進行中のブロック処理はない )"},
        {"10038", u"(10038:記述子がソケットではない )"},
        {"10039", u"(10039:相手先アドレスが必要 )"},
        {"10040", u"(10040:データグラムが大きくてバッファに収容できない。切り捨てられた )"},
        {"10041", u"(10041:指定ポートの種類がこのソケットに不適当 )"},
        {"10042", u"(10042:オプションが未定義もしくはサポートされていない )"},
        {"10043", u"(10043:指定ポートがサポートされていない )"},
        {"10044", u"(10044:ソケットのタイプがこのアドレスファミリーで非サポート )"},
        {"10045", u"(10045:ソケットが接続指向サービスをサポートする種類ではない )"},
        {"10047", u"(10047:アドレスファミリーがサポートされていない )"},
        {"10048", u"(10048:アドレスが使用中 )"},
        {"10049", u"(10049:アドレスがローカルマシンから利用不可 )"},
        {"10050", u"(10050:ネットワークサブシステムが失敗 )"},
        {"10051", u"(10051:このホストは現時点で目的のネットワークに接続できない )"},
        {"10052", u"(10052:SO_KEEPALIVE の設定時に接続が時間切れになった )"},
        {"10053", u"(10053:タイムアウトなどの失敗により接続が廃棄された )"},
        {"10054", u"(10054:接続がリモート側からリセットされた )"},
        {"10055", u"(10055:バッファの空き容量がない )"},
        {"10056", u"(10056:ソケットはすでに接続済み )"},
        {"10057", u"(10057:ソケットが接続されていない )"},
        {"10058", u"(10058:ソケットが閉じている )"},
        {"10060", u"(10060:接続試行が時間切れになった )"},
        {"10061", u"(10061:接続が強制的に拒否 )"},
        {"10201", u"(10201:このオブジェクト用のソケットが既に作成済 )"},
        {"10202", u"(10202:ソケットがこのオブジェクト用に作成されていない )"},
        {"11001", u"(11001:正式な回答 : ホストが見つからない )"},
        {"11002", u"(11002:非公式な回答 : ホストが見つからない )"},
        {"11003", u"(11003:致命的なエラー )"},
        {"11004", u"(11004:有効な名前だが，要求された種類のデータレコードがない )"},
    };
    ASSERT_EQ(std::size(table), 36u);
    for (const auto& row : table)
        EXPECT_EQ(SockErrText(QString::fromLatin1(row.number)), QString::fromUtf16(row.result))
            << row.number;
}

TEST(SockErrText, ExplanationsKeepTheirTrailingBlankExcept10014)
{
    EXPECT_TRUE(SockErrText(QStringLiteral("10048")).endsWith(QStringLiteral(" )")));
    EXPECT_TRUE(SockErrText(QStringLiteral("10014")).endsWith(QStringLiteral("等))")));
    EXPECT_TRUE(SockErrText(QStringLiteral("10013")).contains(QChar(0xFF0C)));
}

TEST(SockErrText, UnknownNumbersAndNearMissesHaveNoExplanation)
{
    for (const char* number :
         {"12345", "10046", "10059", "10065", "-1", "5", "13", "010054", " 10054"})
        EXPECT_EQ(SockErrText(QString::fromLatin1(number)),
                  QStringLiteral("(") + QString::fromLatin1(number) + QStringLiteral(":)"));
    EXPECT_EQ(SockErrText(QString()), QStringLiteral("(:)"));
}
