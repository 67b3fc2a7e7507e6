#include "settings/SockErrText.h"

#include <array>
#include <utility>

namespace wibblet {

namespace {

// Socket error numbers and what they mean, as the user reads them. Most
// explanations end in a blank that belongs to the text.
constexpr std::array<std::pair<const char16_t*, const char16_t*>, 36> kTexts{{
    {u"10004", u"処理がキャンセルされた "},
    {u"10013", u"要求されたアドレスはブロードキャストアドレスだが，フラグが設定されていない "},
    {u"10014", u"無効な引数 (間違ったアドレスを指定した等)"},
    {u"10022", u"ソケットが設定されないので，無効なアドレスや Listen は受諾前に呼び出されない "},
    {u"10024", u"利用できるファイル記述子がない。受け付けキューが空である "},
    {u"10035", u"ソケットは非ブロッキングで，指定の処理はブロックされる "},
    {u"10036", u"Winsock のブロッキング処理が進行中 "},
    {u"10037", u"処理が完了した。進行中のブロック処理はない "},
    {u"10038", u"記述子がソケットではない "},
    {u"10039", u"相手先アドレスが必要 "},
    {u"10040", u"データグラムが大きくてバッファに収容できない。切り捨てられた "},
    {u"10041", u"指定ポートの種類がこのソケットに不適当 "},
    {u"10042", u"オプションが未定義もしくはサポートされていない "},
    {u"10043", u"指定ポートがサポートされていない "},
    {u"10044", u"ソケットのタイプがこのアドレスファミリーで非サポート "},
    {u"10045", u"ソケットが接続指向サービスをサポートする種類ではない "},
    {u"10047", u"アドレスファミリーがサポートされていない "},
    {u"10048", u"アドレスが使用中 "},
    {u"10049", u"アドレスがローカルマシンから利用不可 "},
    {u"10050", u"ネットワークサブシステムが失敗 "},
    {u"10051", u"このホストは現時点で目的のネットワークに接続できない "},
    {u"10052", u"SO_KEEPALIVE の設定時に接続が時間切れになった "},
    {u"10053", u"タイムアウトなどの失敗により接続が廃棄された "},
    {u"10054", u"接続がリモート側からリセットされた "},
    {u"10055", u"バッファの空き容量がない "},
    {u"10056", u"ソケットはすでに接続済み "},
    {u"10057", u"ソケットが接続されていない "},
    {u"10058", u"ソケットが閉じている "},
    {u"10060", u"接続試行が時間切れになった "},
    {u"10061", u"接続が強制的に拒否 "},
    {u"10201", u"このオブジェクト用のソケットが既に作成済 "},
    {u"10202", u"ソケットがこのオブジェクト用に作成されていない "},
    {u"11001", u"正式な回答 : ホストが見つからない "},
    {u"11002", u"非公式な回答 : ホストが見つからない "},
    {u"11003", u"致命的なエラー "},
    {u"11004", u"有効な名前だが，要求された種類のデータレコードがない "},
}};

} // namespace

QString SockErrText(const QString& number)
{
    QString explanation;
    for (const auto& [code, text] : kTexts) {
        if (number == QString::fromUtf16(code)) {
            explanation = QString::fromUtf16(text);
            break;
        }
    }
    return QLatin1Char('(') + number + QLatin1Char(':') + explanation + QLatin1Char(')');
}

} // namespace wibblet
