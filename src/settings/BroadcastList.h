#pragma once

#include "platform/ProfileSnapshot.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

namespace wibblet {

class Settings;

/// The broadcast address of an address text: the group after its last dot
/// (one to three characters) replaced by 255; "255" alone when no dot stands
/// in those places.
QString MakeBrdAddr(const QString& address);

/// The most entries the program lets the list reach by itself. Every
/// presence broadcast goes to each listed subnet, and any host can claim an
/// address on any subnet: without a bound, one forged datagram per subnet
/// would have every copy on the LAN broadcast to as many networks as the
/// forger likes. Entries written by hand may go past it and are all used.
constexpr qsizetype MaxLearnedSubnets = 64;

/// Adds the subnet of a sender's address to the broadcast list in the
/// settings file, unless it is the own subnet (ownBroadcast), already
/// listed, or the list holds MaxLearnedSubnets entries. The count and the
/// entry go in one write, decided on the file as it is under the write's
/// guard. When the file cannot be written (a read-only folder, or a file
/// saved anew on every try), the subnet is listed in memory instead, for as
/// long as the program runs, and counts towards the bound.
void AddBrdList(const Settings& settings, const QString& ownBroadcast, const QString& address);

/// The listed subnets in index order (the entries present below the count,
/// empty ones left out), then those listed in memory. Costs one look at the
/// disk, and work in proportion to the entries, whatever the count says.
QStringList ReadBrdList(const Settings& settings);

/// What the list keeps between datagrams: the entries of the file version
/// it last saw, so that a host from a known subnet costs a hash look-up,
/// and the subnets it could not record.
struct BroadcastListMemory {
    std::shared_ptr<const ProfileSnapshot> parsedFrom;
    qint32 count = 0;       ///< BRC_CNT as read
    QStringList entries;    ///< present, not empty, in index order
    QSet<QString> listed;   ///< the same, for look-ups
    QStringList unrecorded; ///< learned while the file could not be written
};

} // namespace wibblet
