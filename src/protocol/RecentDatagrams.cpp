#include "protocol/RecentDatagrams.h"

#include <QCryptographicHash>

namespace wibblet {

namespace {

QByteArray Digest(const QByteArray& bytes, const QString& address, quint16 port)
{
    // A dotted address holds no NUL and the port has a fixed size, so no two
    // sources and datagrams run together into the same input.
    const char source[] = {'\0', char(port >> 8), char(port & 0xFF)};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(address.toLatin1());
    hash.addData(QByteArrayView(source, sizeof source));
    hash.addData(bytes);
    return hash.result();
}

// A clock set back leaves entries in the future: out of the window too, or
// one set back an hour would hide every copy for that hour.
bool InWindow(qint64 at, qint64 now)
{
    return at <= now && now - at < RecentDatagrams::kWindowMs;
}

} // namespace

bool RecentDatagrams::Repeats(const QByteArray& bytes, const QString& address, quint16 port,
                              const QDateTime& now)
{
    const qint64 t = now.toMSecsSinceEpoch();
    const QByteArray digest = Digest(bytes, address, port);
    const auto found = last_.find(digest);
    const bool repeats = found != last_.end() && InWindow(found.value(), t);
    if (found == last_.end()) {
        last_.insert(digest, t);
        order_.push_back({digest, t});
    } else if (found.value() != t) {
        // The earlier entry stays in order_ until it comes to the front.
        found.value() = t;
        order_.push_back({digest, t});
    }
    Trim(t);
    return repeats;
}

void RecentDatagrams::Trim(qint64 now)
{
    while (!order_.empty() && (Count() > maxEntries_ || !InWindow(order_.front().at, now))) {
        const Entry& oldest = order_.front();
        // Forgotten only with its last copy: a superseded entry leaves it be.
        if (const auto it = last_.find(oldest.digest); it != last_.end() && it.value() == oldest.at)
            last_.erase(it);
        order_.pop_front();
    }
}

} // namespace wibblet
