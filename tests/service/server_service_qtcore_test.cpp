// The server service's fault rules, as both front-ends use them: a rule set applied or refused as
// a whole, switched and counted on the server thread, and each firing told on the service's thread.
#include "service/server_service.h"
#include "support/loopback_client.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <netinet/in.h>

namespace korvel::testing {
namespace {

constexpr const char* kLostEveryOther = "[[rule]]\nname = \"lost\"\nfault = \"no-reply\"\nevery = 2\n";

class ServiceFaults : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_EQ(service.startListening(0, INADDR_LOOPBACK), 0);
        QObject::connect(&service, &ServerService::faultFired, [this](const QString& rule, int c, quint16 ti) {
            fired << QStringLiteral("%1 %2 %3").arg(rule).arg(c).arg(ti);
        });
    }
    // Asks for input register 0 with transaction id `ti`; whether a reply came.
    bool ask(LoopbackClient& client, uint8_t ti)
    {
        const std::vector<uint8_t> request{0, ti, 0, 0, 0, 6, 1, 4, 0, 0, 0, 1};
        EXPECT_TRUE(client.send(request));
        return client.receive(11, 150).size() == 11;
    }
    void serveEvents(int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    RegisterStore store;
    ServerEngine engine{store};
    ServerObserver frontEnd;
    ServerService service{engine, frontEnd};
    QStringList fired;
};

TEST_F(ServiceFaults, ARuleSetWithAnErrorLeavesTheOneInForce)
{
    ASSERT_FALSE(service.loadFaultRules(QString::fromLatin1(kLostEveryOther)).has_value());
    const std::optional<FaultRulesError> error =
        service.loadFaultRules(QStringLiteral("[[rule]]\nfault = \"no-reply\"\nevery = 0\n"));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->line, 3);
    EXPECT_EQ(service.faultRulesText(), QString::fromLatin1(kLostEveryOther));
    ASSERT_EQ(service.faultCounters().size(), 1u);
    EXPECT_EQ(service.faultCounters()[0].name, "lost");
}

TEST_F(ServiceFaults, FiringsAreCountedAndToldSwitchingAndResetsAsked)
{
    ASSERT_FALSE(service.loadFaultRules(QString::fromLatin1(kLostEveryOther)).has_value());
    LoopbackClient client(service.listeningPort());
    EXPECT_TRUE(ask(client, 1));
    EXPECT_FALSE(ask(client, 2));
    serveEvents(50);
    EXPECT_EQ(fired, QStringList{QStringLiteral("lost 1 2")});
    EXPECT_EQ(service.faultCounters()[0].matched, 2u);
    EXPECT_EQ(service.faultCounters()[0].fired, 1u);
    EXPECT_EQ(service.snapshot().faultsFired, 1u);

    EXPECT_FALSE(service.setFaultRuleEnabled(QStringLiteral("nothing"), false));
    EXPECT_TRUE(service.setFaultRuleEnabled(QStringLiteral("lost"), false));
    EXPECT_TRUE(ask(client, 3));
    EXPECT_TRUE(ask(client, 4)) << "a switched-off rule fires no more";
    EXPECT_EQ(service.snapshot().faultRulesEnabled, 0);

    service.resetFaultCounters();
    EXPECT_EQ(service.faultCounters()[0].fired, 0u);
    service.clearFaultRules();
    EXPECT_TRUE(service.faultRulesText().isEmpty());
    EXPECT_FALSE(service.snapshot().faultRulesLoaded);
}

TEST_F(ServiceFaults, AFloodOfFiringsIsToldAtMostAHundredTimesASecond)
{
    ASSERT_FALSE(service.loadFaultRules(QStringLiteral("[[rule]]\nfault = \"no-reply\"\n")).has_value());
    LoopbackClient client(service.listeningPort());
    std::vector<uint8_t> burst;
    for (int i = 0; i < 150; ++i)
        burst.insert(burst.end(), {0, static_cast<uint8_t>(i), 0, 0, 0, 6, 1, 4, 0, 0, 0, 1});
    ASSERT_TRUE(client.send(burst));
    QElapsedTimer t;
    t.start();
    while (service.faultCounters()[0].fired < 150 && t.elapsed() < 3000)
        serveEvents(10);
    serveEvents(50);
    ASSERT_EQ(service.faultCounters()[0].fired, 150u);
    // The burst may straddle one second's end: then the next second tells up to 100 more.
    EXPECT_LE(fired.size(), 2 * ServerService::kFiredPerSecond);
    EXPECT_EQ(static_cast<uint64_t>(fired.size()) + service.faultFiredUntold(), 150u);
    EXPECT_GE(fired.size(), ServerService::kFiredPerSecond);
}

} // namespace
} // namespace korvel::testing
