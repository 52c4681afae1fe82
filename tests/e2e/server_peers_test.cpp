// Real Modbus masters from Debian against the real korvel program and against korvel-server.
#include "e2e/korvel_process.h"

#include <gtest/gtest.h>

namespace korvel::testing {
namespace {

class ServerPeersTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override { ASSERT_TRUE(korvel.start()); }
    QString port() const { return QString::number(korvel.basePort()); }
    KorvelProcess korvel{{}, 0, {}, QString::fromLatin1(GetParam())};
};

TEST_P(ServerPeersTest, MbpollReadsAndWritesHoldingAndReadsInputRegisters)
{
    const QStringList common{"-m", "tcp", "-p", port(), "-a", "1", "-0", "-1", "-o", "2"};
    ToolRun write = RunTool("mbpoll", common + QStringList{"-t", "4", "-r", "20", "127.0.0.1", "111", "222", "333"});
    ASSERT_EQ(write.exitCode, 0) << write.output.toStdString();
    EXPECT_TRUE(write.output.contains("Written 3 references")) << write.output.toStdString();

    ToolRun read = RunTool("mbpoll", common + QStringList{"-t", "4", "-r", "19", "-c", "5", "127.0.0.1"});
    ASSERT_EQ(read.exitCode, 0) << read.output.toStdString();
    for (const char* line : {"[19]: \t0", "[20]: \t111", "[21]: \t222", "[22]: \t333", "[23]: \t0"})
        EXPECT_TRUE(read.output.contains(QString::fromLatin1(line))) << line << "\n" << read.output.toStdString();

    ToolRun input = RunTool("mbpoll", common + QStringList{"-t", "3", "-r", "65530", "-c", "6", "127.0.0.1"});
    ASSERT_EQ(input.exitCode, 0) << input.output.toStdString();
    EXPECT_TRUE(input.output.contains("[65535]: \t0")) << input.output.toStdString();
}

TEST_P(ServerPeersTest, LibmodbusMasterCoversTheFunctionCodesAndExceptions)
{
    ToolRun run = RunTool(QStringLiteral(KORVEL_MODBUS_PEER), {port()});
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_FALSE(run.output.contains("FAIL")) << run.output.toStdString();
    EXPECT_EQ(run.output.count("OK "), 11) << run.output.toStdString();
}

TEST_P(ServerPeersTest, PymodbusReadsAndWrites)
{
    const QString script = QStringLiteral(R"(
import sys
from pymodbus.client import ModbusTcpClient
c = ModbusTcpClient("127.0.0.1", port=int(sys.argv[1]), timeout=3)
assert c.connect(), "connect"
w = c.write_registers(500, [7, 8, 9], slave=1)
assert not w.isError(), w
r = c.read_holding_registers(499, 5, slave=1)
assert not r.isError(), r
print("holding", r.registers)
i = c.read_input_registers(0, 3, slave=1)
assert not i.isError(), i
print("input", i.registers)
e = c.read_holding_registers(65535, 2, slave=1)
print("exception", e.isError(), getattr(e, "exception_code", None))
c.close()
)");
    ToolRun run = RunTool(QStringLiteral("/usr/bin/python3"), {"-c", script, port()});
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains("holding [0, 7, 8, 9, 0]")) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains("input [0, 0, 0]")) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains("exception True 2")) << run.output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Programs, ServerPeersTest, ::testing::Values(KORVEL_EXECUTABLE, KORVEL_SERVER_EXECUTABLE),
                         [](const auto& info) {
                             return std::string(QString::fromLatin1(info.param).endsWith("-server") ? "Headless"
                                                                                                    : "Window");
                         });

} // namespace
} // namespace korvel::testing
