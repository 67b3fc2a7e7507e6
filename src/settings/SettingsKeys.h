#pragma once

#include <QString>

/// The names in the settings file, each spelled here only. Sections first,
/// then their keys; a numbered key is its prefix and the index. (Constants
/// made before main, in no set order with other files' constants: read them
/// in functions, not in another constant's initialiser.)
namespace wibblet::SettingsKeys {

inline const QString DefaultSection = QStringLiteral("DEFAULT");
inline const QString DefTitle = QStringLiteral("DEF_TITLE");
inline const QString DefOk = QStringLiteral("DEF_OK");

inline const QString ErrorSection = QStringLiteral("ERROR");
inline const QString ErrCnt = QStringLiteral("ERR_CNT");
inline const QString ErrExePrefix = QStringLiteral("ERR_EXE_");
inline QString ErrExe(qint32 i)
{
    return ErrExePrefix + QString::number(i);
}

inline const QString BasicSection = QStringLiteral("BSC_CFG");
inline const QString UserName = QStringLiteral("USER_NAME");
inline const QString SecretOk = QStringLiteral("SECRET_OK");
inline const QString IpMsg = QStringLiteral("IP_MSG");

inline const QString BroadcastSection = QStringLiteral("BRD_CAST");
inline const QString BrcCnt = QStringLiteral("BRC_CNT");
inline const QString BrcIpPrefix = QStringLiteral("BRC_IP_");
inline QString BrcIp(qint32 i)
{
    return BrcIpPrefix + QString::number(i);
}

} // namespace wibblet::SettingsKeys
