#include "platform/PosixUdpSocket.h"
#include "platform/SocketErrors.h"
#include "support/Isolation.h"
#include "support/Wait.h"

#include <QTimer>

#include <fcntl.h>
#include <netdb.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <gtest/gtest.h>

#include <utility>

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
    EXPECT_EQ(a.RemoteHostPort(), kPort + 1); // where it came from

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

TEST_F(PosixUdpSocketTest, ABurstLargerThanTheKernelsRoomArrivesWhole)
{
    PosixUdpSocket socket;
    Inbox in(socket);
    ASSERT_EQ(socket.Bind(kPort), 0);
    // All sent while the event loop does not run, as when a LAN's answers
    // come while the program is busy: more than the kernel has room for.
    constexpr int kCount = 60000;
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(SendTo(socket, "127.0.0.255", kPort, "1:" + QByteArray::number(i) + ":u:h:3:n"),
                  0);
    }
    ASSERT_TRUE(in.WaitFor(kCount)) << in.received.size() << " arrived";
    EXPECT_EQ(in.received.last(), "1:" + QByteArray::number(kCount - 1) + ":u:h:3:n");
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

// Closing stops the reading thread with datagrams still queued and a slice
// on its way; bound again, the socket reads and hands over afresh.
TEST_F(PosixUdpSocketTest, BoundAgainAfterACloseInAHandlerItReadsAfresh)
{
    PosixUdpSocket socket;
    Inbox in(socket);
    bool closeNext = true;
    QObject::connect(&socket, &UdpSocket::DataArrival, [&] {
        if (std::exchange(closeNext, false))
            socket.Close();
    });
    ASSERT_EQ(socket.Bind(kPort), 0);
    for (const char* text : {"1", "2", "3"})
        ASSERT_EQ(SendTo(socket, "127.0.0.1", kPort, text), 0);
    ASSERT_TRUE(in.WaitFor(1));
    ASSERT_EQ(socket.Bind(kPort), 0);
    for (const char* text : {"4", "5"})
        ASSERT_EQ(SendTo(socket, "127.0.0.1", kPort, text), 0);
    ASSERT_TRUE(in.WaitFor(3)) << in.received.size() << " arrived";
    EXPECT_EQ(in.received, (QList<QByteArray>{"1", "4", "5"}));
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

TEST_F(PosixUdpSocketTest, ArrivalsAreHandedOverInSlicesWithTheEventLoopBetween)
{
    PosixUdpSocket socket;
    Inbox in(socket);
    ASSERT_EQ(socket.Bind(kPort), 0);
    constexpr int kCount = 1000;
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(SendTo(socket, "127.0.0.1", kPort, QByteArray::number(i)), 0);
    }
    // A zero timer times out whenever the event loop has its turn.
    qsizetype mostBetweenTurns = 0;
    qsizetype atLastTurn = 0;
    QTimer turn;
    QObject::connect(&turn, &QTimer::timeout, [&] {
        mostBetweenTurns = std::max(mostBetweenTurns, in.received.size() - atLastTurn);
        atLastTurn = in.received.size();
    });
    turn.start(0);
    ASSERT_TRUE(in.WaitFor(kCount));
    EXPECT_LE(mostBetweenTurns, PosixUdpSocket::kSliceCount);
    EXPECT_EQ(in.received.last(), QByteArray::number(kCount - 1));
}

TEST_F(PosixUdpSocketTest, ArrivalsAreStillHandedOverWhileAHandlerRunsAnEventLoop)
{
    // As while an error box is open.
    PosixUdpSocket socket;
    Inbox in(socket);
    qsizetype afterBox = 0;
    QObject::connect(&socket, &UdpSocket::DataArrival, [&] {
        if (in.received.size() == 1) {
            RunEventsFor(300);
            afterBox = in.received.size();
        }
    });
    ASSERT_EQ(socket.Bind(kPort), 0);
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(SendTo(socket, "127.0.0.1", kPort, "x"), 0);
    }
    ASSERT_TRUE(in.WaitFor(200));
    EXPECT_EQ(afterBox, 200);
}

TEST(ReceiveQueueTest, BoundedInCountAndBytesCountingWhatItDrops)
{
    ReceiveQueue queue(3, 10);
    EXPECT_TRUE(queue.Push("1234", 4, 1));
    EXPECT_TRUE(queue.Push("5678", 4, 2));
    EXPECT_FALSE(queue.Push("abc", 3, 3)); // 11 bytes
    EXPECT_TRUE(queue.Push("ab", 2, 4));
    EXPECT_FALSE(queue.Push("", 0, 5)); // a fourth
    EXPECT_EQ(queue.Dropped(), 2);
    EXPECT_EQ(queue.Pop().bytes, "1234");
    const ReceiveQueue::Arrival next = queue.Pop();
    EXPECT_EQ(next.bytes, "5678");
    EXPECT_EQ(next.from, 2U);
    EXPECT_TRUE(queue.Push("cdefghij", 8, 6));
    EXPECT_EQ(queue.Count(), 2);
}

// Full is when not even an empty datagram would fit: the reader then stops
// reading and leaves the kernel to hold what comes.
TEST(ReceiveQueueTest, FullByCountOrByBytes)
{
    ReceiveQueue queue(3, 10);
    queue.Push("1234567890", 10, 1);
    EXPECT_TRUE(queue.IsFull()); // by its bytes, one datagram in
    queue.Pop();
    EXPECT_FALSE(queue.IsFull());
    queue.Push("a", 1, 2);
    queue.Push("b", 1, 3);
    EXPECT_FALSE(queue.IsFull());
    queue.Push("", 0, 4);
    EXPECT_TRUE(queue.IsFull()); // by count
}

TEST(SendQueueTest, NormalDatagramsGoFirstAndPushOutAnswersWhenFull)
{
    SendQueue queue(3, 100);
    const auto push = [&](const char* text, SendPriority priority) {
        return queue.Push({1, 2, text}, priority);
    };
    ASSERT_TRUE(push("a1", SendPriority::Answer));
    ASSERT_TRUE(push("a2", SendPriority::AnswerToStranger));
    EXPECT_FALSE(queue.MustWait(SendPriority::Normal));
    EXPECT_TRUE(queue.MustWait(SendPriority::Answer));
    ASSERT_TRUE(push("n1", SendPriority::Normal));
    EXPECT_TRUE(queue.MustWait(SendPriority::Normal));

    // Full: an answer is refused, a normal datagram pushes out the oldest
    // answer, and with no answer left a normal one is refused too.
    EXPECT_FALSE(push("a3", SendPriority::Answer));
    EXPECT_TRUE(push("n2", SendPriority::Normal));
    EXPECT_TRUE(push("n3", SendPriority::Normal));
    EXPECT_FALSE(push("n4", SendPriority::Normal));
    EXPECT_EQ(queue.Dropped(), 3);
    QByteArrayList order;
    for (; !queue.IsEmpty(); queue.PopFront()) {
        order << queue.Front().bytes;
    }
    EXPECT_EQ(order, (QByteArrayList{"n1", "n2", "n3"}));
    EXPECT_FALSE(push(QByteArray(101, 'x').constData(), SendPriority::Normal));
}

// A network namespace of the test's own, entered by this thread while the
// object lives, with a cable whose far end has no address: datagrams sent
// across wait for an address resolution that fails after 0.3 s, holding
// their room in the sender's send buffer meanwhile, as answers to forged
// sources do on a real LAN. A socket stays in the namespace it was made in.
class DeadEndNetwork {
public:
    DeadEndNetwork() : home_(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC))
    {
        entered_ = home_ >= 0 && ::unshare(CLONE_NEWNET) == 0;
        ok_ = entered_
              && std::system("ip link set lo up && ip link add dead0 type veth peer name dead1"
                             " && ip addr add 10.77.0.1/24 dev dead0 && ip link set dead1 up"
                             " && ip link set dead0 up && sysctl -qw"
                             " net.ipv4.neigh.dead0.mcast_solicit=1"
                             " net.ipv4.neigh.dead0.retrans_time_ms=300")
                     == 0;
    }
    ~DeadEndNetwork()
    {
        if (entered_) {
            ::setns(home_, CLONE_NEWNET);
        }
        if (home_ >= 0) {
            ::close(home_);
        }
    }
    bool Ok() const { return ok_; }

private:
    int home_;
    bool entered_ = false;
    bool ok_ = false;
};

TEST_F(PosixUdpSocketTest, SendsTheKernelHasNoRoomForWaitReceiptsBeforeAnswers)
{
    DeadEndNetwork network;
    if (!network.Ok()) {
        GTEST_SKIP() << "cannot make a network namespace with a cable here";
    }
    PosixUdpSocket socket;
    PosixUdpSocket listener;
    Inbox in(listener);
    ASSERT_EQ(listener.Bind(kPort), 0);
    const QByteArray big(60000, 'd');
    for (int i = 0; socket.QueuedSends() == 0 && i < 5000; ++i) {
        ASSERT_EQ(SendTo(socket, QStringLiteral("10.77.0.%1").arg(2 + i % 200), kPort, big), 0);
    }
    ASSERT_GT(socket.QueuedSends(), 0) << "the send buffer never filled";

    socket.SetRemoteHost("127.0.0.1");
    EXPECT_EQ(socket.SendBytes("answer", SendPriority::Answer), 0);
    EXPECT_EQ(socket.SendBytes("receipt"), 0);
    EXPECT_EQ(socket.QueuedSends(), 3);
    ASSERT_TRUE(in.WaitFor(2));
    EXPECT_EQ(in.received, (QByteArrayList{"receipt", "answer"}));
    EXPECT_EQ(socket.QueuedSends(), 0);
}

TEST_F(PosixUdpSocketTest, AnswersToStrangersAreRateLimitedBothOrNeither)
{
    PosixUdpSocket socket;
    PosixUdpSocket listener;
    Inbox answers(listener);
    int entries = 0;
    QObject::connect(&socket, &UdpSocket::DataArrival, [&] {
        ++entries;
        socket.SetRemotePort(kPort + 1);
        socket.SendBytes("3", SendPriority::AnswerToStranger);
        socket.SendBytes("6291459", SendPriority::AnswerToStranger);
    });
    ASSERT_EQ(socket.Bind(kPort), 0);
    ASSERT_EQ(listener.Bind(kPort + 1), 0);
    constexpr int kEntries = 150;
    for (int i = 0; i < kEntries; ++i) {
        ASSERT_EQ(SendTo(listener, "127.0.0.1", kPort, "entry"), 0);
    }
    ASSERT_TRUE(WaitUntil([&] { return entries == kEntries; }));
    RunEventsFor(50);
    // The first burst, and what the time taken has added.
    const qsizetype sent = answers.received.size();
    EXPECT_GE(sent, 2 * AnswerRateLimit::kBurst);
    EXPECT_LE(sent, 2 * (AnswerRateLimit::kBurst + AnswerRateLimit::kPerSecond));
    EXPECT_EQ(sent % 2, 0);
    EXPECT_EQ(socket.AnswersDropped(), 2 * kEntries - sent);
    EXPECT_EQ(answers.received.mid(0, 2), (QByteArrayList{"3", "6291459"}));
}

TEST_F(PosixUdpSocketTest, LocalAddressIsLoopbackWithoutOtherInterfaces)
{
    PosixUdpSocket socket;
    EXPECT_EQ(socket.LocalIP(), "127.0.0.1");
    EXPECT_FALSE(socket.LocalHostName().isEmpty());
}

} // namespace
} // namespace wibblet
