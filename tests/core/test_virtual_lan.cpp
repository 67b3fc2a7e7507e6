#include "kit/VirtualLan.h"
#include "platform/Cp932.h"
#include "platform/SocketErrors.h"
#include "support/Wait.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace wibblet {
namespace {

constexpr quint16 kPort = 2425;

struct Arrival {
    QByteArray bytes;
    QString fromIP;
};

// Records every DataArrival of a socket, read the way the program reads them.
struct Inbox {
    explicit Inbox(UdpSocket& socket)
    {
        QObject::connect(&socket, &UdpSocket::DataArrival, &socket, [this, &socket] {
            arrivals.append({socket.GetBytes(), socket.RemoteHostIP()});
        });
    }
    QList<Arrival> arrivals;
};

class VirtualLanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (auto* s : {alpha.get(), beta.get(), gamma.get(), delta.get()}) {
            ASSERT_EQ(s->Bind(kPort), 0);
        }
    }

    static void Flush() { QCoreApplication::processEvents(); }

    VirtualLan lan;
    std::unique_ptr<VirtualSocket> alpha = lan.CreateSocket("alpha", "10.0.0.1");
    std::unique_ptr<VirtualSocket> beta = lan.CreateSocket("beta", "10.0.0.2");
    std::unique_ptr<VirtualSocket> gamma = lan.CreateSocket("gamma", "10.0.0.3");
    std::unique_ptr<VirtualSocket> delta = lan.CreateSocket("delta", "10.0.1.1");
    Inbox alphaIn{*alpha};
    Inbox betaIn{*beta};
    Inbox gammaIn{*gamma};
    Inbox deltaIn{*delta};
};

TEST_F(VirtualLanTest, UnicastByAddressOrHostNameReachesOnlyThatHost)
{
    for (const char* destination : {"10.0.0.2", "beta", "BeTa"}) {
        SCOPED_TRACE(destination);
        betaIn.arrivals.clear();
        alpha->SetRemoteHost(destination);
        alpha->SetRemotePort(kPort);
        ASSERT_EQ(alpha->SendBytes("hello"), 0);
        Flush();
        ASSERT_EQ(betaIn.arrivals.size(), 1);
        EXPECT_EQ(betaIn.arrivals[0].bytes, "hello");
        EXPECT_EQ(betaIn.arrivals[0].fromIP, "10.0.0.1");
        EXPECT_TRUE(alphaIn.arrivals.isEmpty());
        EXPECT_TRUE(gammaIn.arrivals.isEmpty());
        EXPECT_TRUE(deltaIn.arrivals.isEmpty());
    }
}

TEST_F(VirtualLanTest, BroadcastReachesItsSubnetSenderIncluded)
{
    // The limited broadcast stays on the sender's own /24.
    for (const char* destination : {"10.0.0.255", "255.255.255.255"}) {
        SCOPED_TRACE(destination);
        for (Inbox* in : {&alphaIn, &betaIn, &gammaIn, &deltaIn}) {
            in->arrivals.clear();
        }
        beta->SetRemoteHost(destination);
        beta->SetRemotePort(kPort);
        ASSERT_EQ(beta->SendBytes("all"), 0);
        Flush();
        for (Inbox* in : {&alphaIn, &betaIn, &gammaIn}) {
            ASSERT_EQ(in->arrivals.size(), 1);
            EXPECT_EQ(in->arrivals[0].bytes, "all");
            EXPECT_EQ(in->arrivals[0].fromIP, "10.0.0.2");
        }
        EXPECT_TRUE(deltaIn.arrivals.isEmpty());
    }
}

TEST_F(VirtualLanTest, DatagramsToAPortNobodyHoldsAreDropped)
{
    gamma->Close();
    struct Case {
        const char* host;
        quint16 port;
    };
    for (const Case& c : {Case{"10.0.0.2", 2426}, Case{"10.0.0.255", 2426}, Case{"10.0.0.3", kPort},
                          Case{"10.0.0.9", kPort}}) {
        SCOPED_TRACE(c.host);
        alpha->SetRemoteHost(c.host);
        alpha->SetRemotePort(c.port);
        EXPECT_EQ(alpha->SendBytes("x"), 0) << "UDP does not know whether anyone listens";
    }
    Flush();
    EXPECT_TRUE(betaIn.arrivals.isEmpty());
    EXPECT_TRUE(gammaIn.arrivals.isEmpty());
    EXPECT_TRUE(alphaIn.arrivals.isEmpty());
}

TEST_F(VirtualLanTest, DeliveryWaitsForTheEventLoopAndKeepsOrder)
{
    alpha->SetRemoteHost("beta");
    alpha->SetRemotePort(kPort);
    for (const char* text : {"1", "2", "3"}) {
        ASSERT_EQ(alpha->SendBytes(text), 0);
    }
    EXPECT_TRUE(betaIn.arrivals.isEmpty());
    Flush();
    ASSERT_EQ(betaIn.arrivals.size(), 3);
    EXPECT_EQ(betaIn.arrivals[0].bytes, "1");
    EXPECT_EQ(betaIn.arrivals[2].bytes, "3");
}

TEST_F(VirtualLanTest, BindRefusesTakenPortsAndDoubleBinds)
{
    // Same address, same port: taken. Another address may use the port.
    auto second = lan.CreateSocket("alpha", "10.0.0.1");
    EXPECT_EQ(second->Bind(kPort), SocketErrors::AddressInUse);
    EXPECT_FALSE(second->IsBound());
    auto other = lan.CreateSocket("epsilon", "10.0.0.5");
    EXPECT_EQ(other->Bind(kPort), 0);

    EXPECT_EQ(alpha->Bind(2426), SocketErrors::InvalidOperationForState);
    EXPECT_EQ(alpha->LocalPort(), kPort);

    alpha->Close();
    EXPECT_EQ(alpha->LocalPort(), 0);
    EXPECT_EQ(second->Bind(kPort), 0);
    alpha->Close(); // harmless when not bound
}

TEST_F(VirtualLanTest, SendErrorsMatchTheRealSocket)
{
    struct Case {
        const char* host;
        quint16 port;
        qsizetype size;
        int error;
    };
    for (const Case& c : {Case{"no-such-host", kPort, 1, SocketErrors::HostNotFound},
                          Case{"", kPort, 1, SocketErrors::DestinationRequired},
                          Case{"10.0.0.2", 0, 1, SocketErrors::AddressNotAvailable},
                          Case{"10.0.0.2", kPort, 65508, SocketErrors::MessageTooLong},
                          Case{"10.0.0.2", kPort, 65507, 0}}) {
        SCOPED_TRACE(c.host);
        SCOPED_TRACE(c.size);
        alpha->SetRemoteHost(c.host);
        alpha->SetRemotePort(c.port);
        EXPECT_EQ(alpha->SendBytes(QByteArray(c.size, 'x')), c.error);
    }
    EXPECT_EQ(lan.Sent().size(), 1) << "failed sends are not on the wire";
}

TEST_F(VirtualLanTest, ArrivalMakesTheSenderTheRemoteEndpoint)
{
    // Even a sender without a bound port is answered on the receiver's port.
    auto stranger = lan.CreateSocket("stranger", "10.0.0.7");
    Inbox strangerIn(*stranger);
    stranger->SetRemoteHost("10.0.0.2");
    stranger->SetRemotePort(kPort);
    ASSERT_EQ(stranger->SendBytes("ping"), 0);
    Flush();
    ASSERT_EQ(betaIn.arrivals.size(), 1);
    EXPECT_EQ(beta->RemoteHost(), "10.0.0.7");
    EXPECT_EQ(beta->RemotePort(), kPort);

    ASSERT_EQ(stranger->Bind(kPort), 0);
    ASSERT_EQ(beta->SendBytes("pong"), 0);
    Flush();
    ASSERT_EQ(strangerIn.arrivals.size(), 1);
    EXPECT_EQ(strangerIn.arrivals[0].bytes, "pong");
    EXPECT_EQ(strangerIn.arrivals[0].fromIP, "10.0.0.2");
}

TEST_F(VirtualLanTest, SentLogsEverySendAsNamed)
{
    auto unbound = lan.CreateSocket("unbound", "10.0.0.8");
    alpha->SetRemoteHost("Gamma");
    alpha->SetRemotePort(kPort);
    alpha->SendBytes("one");
    alpha->SetRemoteHost("10.0.0.255");
    alpha->SendBytes("two");
    unbound->SetRemoteHost("10.0.0.1");
    unbound->SetRemotePort(kPort);
    unbound->SendBytes("three");

    const QList<VirtualLan::Datagram>& sent = lan.Sent();
    ASSERT_EQ(sent.size(), 3) << "a broadcast is one send";
    EXPECT_EQ(sent[0].fromIP, "10.0.0.1");
    EXPECT_EQ(sent[0].fromPort, kPort);
    EXPECT_EQ(sent[0].toHost, "Gamma");
    EXPECT_EQ(sent[0].toPort, kPort);
    EXPECT_EQ(sent[0].bytes, "one");
    EXPECT_EQ(sent[1].toHost, "10.0.0.255");
    EXPECT_EQ(sent[2].fromIP, "10.0.0.8");
    EXPECT_EQ(sent[2].fromPort, 0);

    lan.ClearSent();
    EXPECT_TRUE(lan.Sent().isEmpty());
}

TEST_F(VirtualLanTest, TextTravelsAsCodePage932)
{
    const QString text = QString::fromUtf8("こんにちは ipmsg");
    alpha->SetRemoteHost("beta");
    alpha->SetRemotePort(kPort);
    ASSERT_EQ(alpha->SendData(text), 0);
    EXPECT_EQ(lan.Sent().last().bytes, Cp932::Encode(text));
    Flush();
    ASSERT_EQ(betaIn.arrivals.size(), 1);
    EXPECT_EQ(beta->GetData(), text);
}

TEST_F(VirtualLanTest, SocketGoneOrClosedBeforeDeliveryGetsNothing)
{
    alpha->SetRemoteHost("10.0.0.255");
    alpha->SetRemotePort(kPort);
    ASSERT_EQ(alpha->SendBytes("late"), 0);
    beta.reset();
    gamma->Close();
    Flush();
    EXPECT_TRUE(gammaIn.arrivals.isEmpty());
    EXPECT_EQ(alphaIn.arrivals.size(), 1);
}

TEST(VirtualLanLifetime, SocketOutlivingTheLanCannotSend)
{
    std::unique_ptr<VirtualSocket> survivor;
    {
        VirtualLan lan;
        survivor = lan.CreateSocket("host", "10.0.0.1");
        ASSERT_EQ(survivor->Bind(kPort), 0);
    }
    survivor->SetRemoteHost("10.0.0.1");
    survivor->SetRemotePort(kPort);
    EXPECT_EQ(survivor->SendBytes("x"), SocketErrors::NetworkDown);
}

} // namespace
} // namespace wibblet
