#include "platform/PosixUdpSocket.h"
#include "platform/SocketErrors.h"
#include "support/Isolation.h"
#include "support/Wait.h"

#include <netdb.h>

#include <cerrno>

#include <gtest/gtest.h>

namespace wibblet {
namespace {

using test::RunEventsFor;
using test::WaitUntil;

constexpr quint16 kPort = 2425;

TEST(SocketErrorsTest, MapsSystemAndResolverErrors)
{
    struct Case {
        int err;
        int expected;
    };
    for (const Case& c :
         {Case{EADDRINUSE, 10048}, Case{EMSGSIZE, 10040}, Case{EAGAIN, 10035}, Case{EACCES, 10013},
          Case{EPERM, 10013}, Case{ENOMEM, 10055}, Case{ENETUNREACH, 10051},
          Case{EHOSTUNREACH, 10065}, Case{EILSEQ, 10050}}) {
        EXPECT_EQ(SocketErrors::FromErrno(c.err), c.expected) << "errno " << c.err;
    }
    for (const Case& c : {Case{EAI_NONAME, 11001}, Case{EAI_AGAIN, 11002}, Case{EAI_FAIL, 11003},
                          Case{EAI_NODATA, 11004}, Case{EAI_ADDRFAMILY, 11004}}) {
        EXPECT_EQ(SocketErrors::FromResolver(c.err), c.expected) << "gai " << c.err;
    }
    errno = EMFILE;
    EXPECT_EQ(SocketErrors::FromResolver(EAI_SYSTEM), 10024);
}

// Counts arrivals and keeps the last one, read the way the program reads them.
struct Inbox {
    explicit Inbox(UdpSocket& socket)
    {
        QObject::connect(&socket, &UdpSocket::DataArrival, &socket, [this, &socket] {
            received.append(socket.GetBytes());
            lastFrom = socket.RemoteHostIP();
        });
    }
    bool WaitFor(qsizetype count)
    {
        return WaitUntil([&] { return received.size() >= count; });
    }
    QList<QByteArray> received;
    QString lastFrom;
};

class PosixUdpSocketTest : public ::testing::Test {
protected:
    void SetUp() override { WIBBLET_REQUIRE_PRIVATE_NETWORK(); }

    static int SendTo(UdpSocket& socket, const QString& host, quint16 port, const QByteArray& b)
    {
        socket.SetRemoteHost(host);
        socket.SetRemotePort(port);
        return socket.SendBytes(b);
    }
};

TEST_F(PosixUdpSocketTest, SubnetBroadcastComesBackFromOurAddress)
{
    PosixUdpSocket socket;
    Inbox in(socket);
    ASSERT_EQ(socket.Bind(kPort), 0);
    EXPECT_EQ(socket.LocalPort(), kPort);
    ASSERT_EQ(SendTo(socket, "127.0.0.255", kPort, "hello"), 0);
    ASSERT_TRUE(in.WaitFor(1));
    EXPECT_EQ(in.received[0], "hello");
    EXPECT_EQ(in.lastFrom, "127.0.0.1");
}

TEST_F(PosixUdpSocketTest, ArrivalPointsRepliesAtTheSenderOnOurPort)
{
    PosixUdpSocket a;
    PosixUdpSocket b;
    Inbox aIn(a);
    Inbox bIn(b);
    ASSERT_EQ(a.Bind(kPort), 0);
    ASSERT_EQ(b.Bind(kPort + 1), 0);
    ASSERT_EQ(SendTo(b, "127.0.0.1", kPort, "ping"), 0);
    ASSERT_TRUE(aIn.WaitFor(1));
    EXPECT_EQ(a.RemoteHost(), "127.0.0.1");
    EXPECT_EQ(a.RemotePort(), kPort);

    // In one namespace "the sender's address on our port" is ourselves.
    ASSERT_EQ(a.SendBytes("pong"), 0);
    ASSERT_TRUE(aIn.WaitFor(2));
    EXPECT_EQ(aIn.received[1], "pong");
    RunEventsFor(50);
    EXPECT_TRUE(bIn.received.isEmpty());
}

TEST_F(PosixUdpSocketTest, UnboundSocketSendsAndCanBeBoundAfterwards)
{
    PosixUdpSocket listener;
    PosixUdpSocket sender;
    Inbox in(listener);
    ASSERT_EQ(listener.Bind(kPort), 0);
    ASSERT_EQ(SendTo(sender, "127.0.0.1", kPort, "unbound"), 0);
    ASSERT_TRUE(in.WaitFor(1));

    // The send gave it an ephemeral port; a bind must still succeed.
    Inbox senderIn(sender);
    ASSERT_EQ(sender.Bind(kPort + 1), 0);
    ASSERT_EQ(SendTo(listener, "127.0.0.1", kPort + 1, "back"), 0);
    ASSERT_TRUE(senderIn.WaitFor(1));
}

TEST_F(PosixUdpSocketTest, HostNamesAreResolvedWhenSending)
{
    PosixUdpSocket socket;
    Inbox in(socket);
    ASSERT_EQ(socket.Bind(kPort), 0);
    ASSERT_EQ(SendTo(socket, "localhost", kPort, "by name"), 0);
    ASSERT_TRUE(in.WaitFor(1));

    struct Case {
        const char* host;
        quint16 port;
        int error;
    };
    for (const Case& c : {Case{"no-such-host.invalid", kPort, SocketErrors::HostNotFound},
                          Case{"NO-SUCH-HOST.INVALID.", kPort, SocketErrors::HostNotFound},
                          Case{"", kPort, SocketErrors::DestinationRequired},
                          Case{"127.0.0.1", 0, SocketErrors::AddressNotAvailable}}) {
        EXPECT_EQ(SendTo(socket, c.host, c.port, "x"), c.error) << c.host;
    }
}

TEST_F(PosixUdpSocketTest, BindRefusesTakenPortAndDoubleBind)
{
    PosixUdpSocket first;
    PosixUdpSocket second;
    Inbox in(first);
    ASSERT_EQ(first.Bind(kPort), 0);
    EXPECT_EQ(second.Bind(kPort), SocketErrors::AddressInUse);
    EXPECT_EQ(second.LocalPort(), 0);

    EXPECT_EQ(first.Bind(kPort + 1), SocketErrors::InvalidOperationForState);
    EXPECT_EQ(first.LocalPort(), kPort);
    ASSERT_EQ(SendTo(second, "127.0.0.1", kPort, "still here"), 0);
    ASSERT_TRUE(in.WaitFor(1));

    first.Close();
    EXPECT_EQ(first.LocalPort(), 0);
    first.Close(); // harmless when not bound
    EXPECT_EQ(second.Bind(kPort), 0);
    EXPECT_EQ(first.Bind(kPort + 1), 0);
}

TEST_F(PosixUdpSocketTest, DatagramSizeLimit)
{
    PosixUdpSocket socket;
    Inbox in(socket);
    ASSERT_EQ(socket.Bind(kPort), 0);
    EXPECT_EQ(SendTo(socket, "127.0.0.1", kPort, QByteArray(70000, 'x')),
              SocketErrors::MessageTooLong);
    const QByteArray largest(65507, 'y');
    ASSERT_EQ(SendTo(socket, "127.0.0.1", kPort, largest), 0);
    ASSERT_TRUE(in.WaitFor(1));
    EXPECT_EQ(in.received[0], largest);
}

TEST_F(PosixUdpSocketTest, BurstArrivesWholeAndInOrder)
{
    PosixUdpSocket socket;
    Inbox in(socket);
    ASSERT_EQ(socket.Bind(kPort), 0);
    constexpr int kCount = 2000;
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(SendTo(socket, "127.0.0.255", kPort, QByteArray::number(i).repeated(20)), 0);
    }
    ASSERT_TRUE(in.WaitFor(kCount)) << in.received.size() << " arrived";
    EXPECT_EQ(in.received.last(), QByteArray::number(kCount - 1).repeated(20));
}

TEST_F(PosixUdpSocketTest, CloseFromArrivalHandlerStopsDelivery)
{
    PosixUdpSocket socket;
    int arrivals = 0;
    QObject::connect(&socket, &UdpSocket::DataArrival, [&] {
        ++arrivals;
        socket.Close();
    });
    ASSERT_EQ(socket.Bind(kPort), 0);
    for (const char* text : {"1", "2", "3"}) {
        ASSERT_EQ(SendTo(socket, "127.0.0.1", kPort, text), 0);
    }
    ASSERT_TRUE(WaitUntil([&] { return arrivals > 0; }));
    RunEventsFor(50);
    EXPECT_EQ(arrivals, 1);
}

TEST_F(PosixUdpSocketTest, TextTravelsAsCodePage932)
{
    PosixUdpSocket socket;
    Inbox in(socket);
    ASSERT_EQ(socket.Bind(kPort), 0);
    const QString text = QString::fromUtf8("表示 テスト");
    socket.SetRemoteHost("127.0.0.1");
    socket.SetRemotePort(kPort);
    ASSERT_EQ(socket.SendData(text), 0);
    ASSERT_TRUE(in.WaitFor(1));
    EXPECT_EQ(in.received[0].size(), 11) << "two bytes per Japanese character";
    EXPECT_EQ(socket.GetData(), text);
}

TEST_F(PosixUdpSocketTest, LocalAddressIsLoopbackWithoutOtherInterfaces)
{
    PosixUdpSocket socket;
    EXPECT_EQ(socket.LocalIP(), "127.0.0.1");
    EXPECT_FALSE(socket.LocalHostName().isEmpty());
}

} // namespace
} // namespace wibblet
