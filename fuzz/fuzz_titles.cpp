// Reply titles and broadcast addresses from any text: both are settled after
// one application and keep to their shapes.
#include "msgwin/MakeReTitle.h"
#include "settings/BroadcastList.h"

#include <cstdlib>
#include <cstring>

using namespace wibblet;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void ReTitle(const QString& title)
{
    const QString reply = MakeReTitle(title);
    if (title.isEmpty()) {
        Check(reply == QStringLiteral("Re: "));
        return;
    }
    const QString prefix = QStringLiteral("Re：");
    Check(reply.startsWith(prefix));
    Check(!reply.contains(QLatin1Char('(')));
    Check(reply.size() <= prefix.size() + title.size());
    // Replying to a reply does not pile up prefixes.
    Check(MakeReTitle(reply) == reply);
}

void BroadcastAddress(const QString& address)
{
    const QString broadcast = MakeBrdAddr(address);
    Check(broadcast.endsWith(QStringLiteral("255")));
    if (broadcast != QStringLiteral("255")) {
        const QString kept = broadcast.chopped(3);
        Check(kept.endsWith(QLatin1Char('.')) && address.startsWith(kept));
        Check(address.size() - kept.size() >= 1 && address.size() - kept.size() <= 3);
    }
    Check(MakeBrdAddr(broadcast) == broadcast);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString text(qsizetype(size / 2), Qt::Uninitialized);
    memcpy(text.data(), data, size_t(text.size()) * sizeof(QChar));
    ReTitle(text);
    BroadcastAddress(text);
    const QString latin = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    ReTitle(latin);
    BroadcastAddress(latin);
    return 0;
}
