// Preloaded (LD_PRELOAD) into wibblet or wibblet_floor by a start-up
// measurement: writes to $WIBBLET_STAMP_FILE the process's CPU time and the
// wall clock (both ns) at the first datagram starting "1:" sent over IPv4
// ("entry"), and at the first X event the program sends ("dock": Qt's dock
// request to the tray). CPU time carries over exec, so the launcher's own is
// subtracted by the caller. CPU time before the entry is the figure that
// holds on a loaded machine, where wall times wander by tens of ms.
#include <dlfcn.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

void Stamp(const char* what)
{
    timespec cpu{};
    timespec wall{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    clock_gettime(CLOCK_REALTIME, &wall);
    const char* path = std::getenv("WIBBLET_STAMP_FILE");
    if (path == nullptr)
        return;
    if (std::FILE* out = std::fopen(path, "a")) {
        std::fprintf(out, "%s %lld %lld\n", what, cpu.tv_sec * 1000000000LL + cpu.tv_nsec,
                     wall.tv_sec * 1000000000LL + wall.tv_nsec);
        std::fclose(out);
    }
}

using SendTo = ssize_t (*)(int, const void*, size_t, int, const sockaddr*, socklen_t);
// xcb_send_event's cookie is one unsigned int; xcb's header is not needed.
struct Cookie {
    unsigned int sequence;
};
using SendEvent = Cookie (*)(void*, uint8_t, uint32_t, uint32_t, const char*);

} // namespace

extern "C" ssize_t sendto(int fd, const void* buffer, size_t size, int flags, const sockaddr* to,
                          socklen_t toSize)
{
    static const SendTo next = reinterpret_cast<SendTo>(dlsym(RTLD_NEXT, "sendto"));
    static bool stamped = false;
    if (!stamped && to != nullptr && to->sa_family == AF_INET && size > 2
        && std::memcmp(buffer, "1:", 2) == 0) {
        stamped = true;
        Stamp("entry");
    }
    return next(fd, buffer, size, flags, to, toSize);
}

extern "C" Cookie xcb_send_event(void* connection, uint8_t propagate, uint32_t destination,
                                 uint32_t mask, const char* event)
{
    static const SendEvent next = reinterpret_cast<SendEvent>(dlsym(RTLD_NEXT, "xcb_send_event"));
    static bool stamped = false;
    if (!stamped) {
        stamped = true;
        Stamp("dock");
    }
    return next(connection, propagate, destination, mask, event);
}
