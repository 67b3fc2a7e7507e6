#pragma once

#include <QString>
#include <QStringList>

namespace wibblet {

class Settings;

/// The broadcast address of an address text: the group after its last dot
/// (one to three characters) replaced by 255; "255" alone when no dot stands
/// in those places.
QString MakeBrdAddr(const QString& address);

/// Adds the subnet of a sender's address to the broadcast list in the
/// settings file, unless it is the own subnet (ownBroadcast) or already listed.
void AddBrdList(const Settings& settings, const QString& ownBroadcast, const QString& address);

/// The listed subnets, read from the settings file afresh, in index order;
/// empty entries included.
QStringList ReadBrdList(const Settings& settings);

} // namespace wibblet
