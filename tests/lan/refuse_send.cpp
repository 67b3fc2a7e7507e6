// Preloaded into a program under test (LD_PRELOAD) to make some of its sends
// fail: with WIBBLET_REFUSE_COMMAND=N set, sendto() fails with EPERM for
// every payload whose fifth colon-separated field (the command) is N, as a
// packet filter would refuse it; everything else is sent. Built for the LAN
// tests only, never installed.
#include <dlfcn.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

using SendTo = ssize_t (*)(int, const void*, size_t, int, const sockaddr*, socklen_t);

// Whether the fifth field of the payload is exactly `command`.
bool CommandIs(const char* payload, size_t size, const char* command)
{
    size_t start = 0;
    int colons = 0;
    for (size_t i = 0; i < size; ++i) {
        if (payload[i] != ':')
            continue;
        if (++colons == 4) {
            start = i + 1;
        } else if (colons == 5) {
            const size_t length = i - start;
            return length == std::strlen(command)
                   && std::memcmp(payload + start, command, length) == 0;
        }
    }
    return false;
}

} // namespace

extern "C" ssize_t sendto(int fd, const void* buffer, size_t size, int flags, const sockaddr* to,
                          socklen_t toSize)
{
    static const SendTo next = reinterpret_cast<SendTo>(dlsym(RTLD_NEXT, "sendto"));
    const char* refused = std::getenv("WIBBLET_REFUSE_COMMAND");
    if (refused && *refused && CommandIs(static_cast<const char*>(buffer), size, refused)) {
        errno = EPERM;
        return -1;
    }
    return next(fd, buffer, size, flags, to, toSize);
}
