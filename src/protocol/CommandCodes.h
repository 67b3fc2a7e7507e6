#pragma once

#include <QString>

namespace wibblet::mdlConst {

// Command numbers as the program keeps them: nine-digit decimal texts, turned
// into numbers before they are written or compared.

// The program's own code set.
inline constexpr char BR_ENTRY[] = "000000001";
inline constexpr char BR_EXIT[] = "000000002";
inline constexpr char ANSENTRY[] = "000000003";
inline constexpr char BR_PRESENT[] = "000000004";
inline constexpr char RECVMSG[] = "000000033";
inline constexpr char READMSG[] = "000000048";
inline constexpr char BR_ABSENCE[] = "000000260";
inline constexpr char SECRETMSG[] = "000000800";

// The IP Messenger code set: the same commands with its capability and
// option flags.
inline constexpr char IPM_BR_ENTRY[] = "006291457";
inline constexpr char IPM_BR_EXIT[] = "006291458";
inline constexpr char IPM_ANSENTRY[] = "006291459";
inline constexpr char IPM_BR_PRESENT[] = "006291460";
inline constexpr char IPM_BR_ABSENCE[] = "006291716";
inline constexpr char IPM_SECRETMSG[] = "001049376";
inline constexpr char IPM_READMSG[] = "001048624";
inline constexpr char IPM_SECRETMSG_PASSWORD[] = "000033568";
inline constexpr char IPM_SECRETMSG_PASSWORD_READCHECK[] = "001082144";
inline constexpr char IPM_SECRETMSG_NOCHECK[] = "000000544";
/// Answer to a request for our public key (IP Messenger code set only).
inline constexpr char IPM_ANSPUBKEY[] = "000000115";
/// Lets the sender of a message release the files it offered (IP Messenger
/// code set only).
inline constexpr char IPM_RELEASEFILES[] = "000000097";

// The ordinary message, by mode (the port goes with it).
inline constexpr char MSG_NORMAL[] = "000000020";
inline constexpr char MSG_IPMSG[] = "000000288";

/// A command constant as a number.
qint32 Number(const char* code);

} // namespace wibblet::mdlConst

namespace wibblet {

/// The program's request codes for the commands it sends.
enum Request : qint32 {
    ReqEntry = 1,
    ReqExit = 2,
    ReqAnswer = 3,
    ReqPresent = 4,
    ReqMessage = 20,
    ReqReceipt = 33,
    ReqReadNotice = 48,
    ReqAbsent = 260,
    ReqSealed = 800,
    ReqAnsPubKey = 115,   ///< IP Messenger code set only
    ReqReleaseFiles = 97, ///< IP Messenger code set only
};

// IP Messenger's option flags, on any command of its code set or ours.
/// The datagram is written in UTF-8 (IPMSG_UTF8OPT).
inline constexpr qint32 kUtf8Option = 0x00800000;
/// On an entry, answer or absence packet: its sender reads UTF-8 (IPMSG_CAPUTF8OPT).
inline constexpr qint32 kCapUtf8Option = 0x01000000;

} // namespace wibblet
