#pragma once

#include <ifaddrs.h>
#include <net/if.h>

#include <gtest/gtest.h>

namespace wibblet::test {

/// True inside a network namespace of our own: every interface that is up is
/// loopback, so nothing a test sends can leave the machine.
inline bool InPrivateNetwork()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return false;
    }
    bool privateOnly = true;
    for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if ((it->ifa_flags & IFF_UP) != 0 && (it->ifa_flags & IFF_LOOPBACK) == 0) {
            privateOnly = false;
        }
    }
    ::freeifaddrs(list);
    return privateOnly;
}

} // namespace wibblet::test

/// Put first in every test (or SetUp) that opens a real socket.
#define WIBBLET_REQUIRE_PRIVATE_NETWORK()                                                          \
    if (!::wibblet::test::InPrivateNetwork())                                                      \
    GTEST_SKIP() << "real sockets are tested only inside a private network namespace (run the "    \
                    "suite through the README's test command)"
