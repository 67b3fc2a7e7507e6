#pragma once

namespace wibblet::SocketErrors {

// The socket error numbers the program reports (their texts are SockErrText's).
inline constexpr int Interrupted = 10004;
inline constexpr int AccessDenied = 10013; // also: broadcast without permission
inline constexpr int BadAddress = 10014;
inline constexpr int InvalidArgument = 10022;
inline constexpr int TooManyFiles = 10024;
inline constexpr int WouldBlock = 10035;
inline constexpr int NotASocket = 10038;
inline constexpr int DestinationRequired = 10039;
inline constexpr int MessageTooLong = 10040;
inline constexpr int ProtocolType = 10041;
inline constexpr int NoProtocolOption = 10042;
inline constexpr int ProtocolNotSupported = 10043;
inline constexpr int SocketTypeNotSupported = 10044;
inline constexpr int OperationNotSupported = 10045;
inline constexpr int AddressFamilyNotSupported = 10047;
inline constexpr int AddressInUse = 10048;
inline constexpr int AddressNotAvailable = 10049;
inline constexpr int NetworkDown = 10050;
inline constexpr int NetworkUnreachable = 10051;
inline constexpr int ConnectionAborted = 10053;
inline constexpr int ConnectionReset = 10054;
inline constexpr int NoBufferSpace = 10055;
inline constexpr int IsConnected = 10056;
inline constexpr int NotConnected = 10057;
inline constexpr int Shutdown = 10058;
inline constexpr int TimedOut = 10060;
inline constexpr int ConnectionRefused = 10061;
inline constexpr int HostUnreachable = 10065;
inline constexpr int HostNotFound = 11001;
inline constexpr int TryAgain = 11002;
inline constexpr int NoRecovery = 11003;
inline constexpr int NoData = 11004;
/// Binding a socket that is already bound (the socket control's own number).
inline constexpr int InvalidOperationForState = 40020;

/// The socket error number for a Linux errno value.
int FromErrno(int err);
/// The socket error number for a getaddrinfo() result.
int FromResolver(int gaiError);

} // namespace wibblet::SocketErrors
