#include "platform/SocketErrors.h"

#include <netdb.h>

#include <cerrno>

namespace wibblet::SocketErrors {

int FromErrno(int err)
{
    switch (err) {
    case 0:
        return 0;
    case EINTR:
        return Interrupted;
    case EACCES:
    case EPERM:
        return AccessDenied;
    case EFAULT:
        return BadAddress;
    case EINVAL:
        return InvalidArgument;
    case EMFILE:
    case ENFILE:
        return TooManyFiles;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
        return WouldBlock;
    case ENOTSOCK:
    case EBADF: // a closed descriptor is what the other side calls an invalid socket
        return NotASocket;
    case EDESTADDRREQ:
        return DestinationRequired;
    case EMSGSIZE:
        return MessageTooLong;
    case EPROTOTYPE:
        return ProtocolType;
    case ENOPROTOOPT:
        return NoProtocolOption;
    case EPROTONOSUPPORT:
        return ProtocolNotSupported;
    case ESOCKTNOSUPPORT:
        return SocketTypeNotSupported;
    case EOPNOTSUPP:
        return OperationNotSupported;
    case EAFNOSUPPORT:
        return AddressFamilyNotSupported;
    case EADDRINUSE:
        return AddressInUse;
    case EADDRNOTAVAIL:
        return AddressNotAvailable;
    case ENETDOWN:
    case ENODEV:
        return NetworkDown;
    case ENETUNREACH:
        return NetworkUnreachable;
    case ECONNABORTED:
        return ConnectionAborted;
    case ECONNRESET:
        return ConnectionReset;
    case ENOBUFS:
    case ENOMEM:
        return NoBufferSpace;
    case EISCONN:
        return IsConnected;
    case ENOTCONN:
        return NotConnected;
    case ESHUTDOWN:
    case EPIPE:
        return Shutdown;
    case ETIMEDOUT:
        return TimedOut;
    case ECONNREFUSED:
        return ConnectionRefused;
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return HostUnreachable;
    default:
        // Anything else is a failure of the network layer the user cannot act
        // on more precisely; "network is down" is the closest honest text.
        return NetworkDown;
    }
}

int FromResolver(int gaiError)
{
    switch (gaiError) {
    case 0:
        return 0;
    case EAI_NONAME:
        return HostNotFound;
    case EAI_AGAIN:
        return TryAgain;
    case EAI_FAIL:
        return NoRecovery;
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
        // The name exists but has no IPv4 address.
        return NoData;
    case EAI_FAMILY:
        return AddressFamilyNotSupported;
    case EAI_SOCKTYPE:
        return SocketTypeNotSupported;
    case EAI_BADFLAGS:
        return InvalidArgument;
    case EAI_MEMORY:
        return NoBufferSpace;
    case EAI_SYSTEM:
        return errno != 0 ? FromErrno(errno) : NoRecovery;
    default:
        return NoRecovery;
    }
}

} // namespace wibblet::SocketErrors
