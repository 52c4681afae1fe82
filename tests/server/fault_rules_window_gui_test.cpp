// The "Fault Rules" window, the status panel's "Fault rules:" row and `--faults` on the command
// line, on a whole main window whose server a loopback client talks to: the table's rows and
// counters follow the requests, its boxes switch rules, the editor's commands apply, load, save
// and clear, and a broken file or text leaves the rules in force as they were.
#include "server_ui/fault_rules_window.h"
#include "server_ui/modbus_options_menu.h"
#include "server_ui/server_connections.h"
#include "service/server_service.h"
#include "shell/shell_fixture.h"
#include "support/accessible_text.h"
#include "support/loopback_client.h"
#include "view/variable_list_file.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

namespace korvel {
namespace {

using testing::AccessibleNameFaults;
using testing::LoopbackClient;

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 3000)
{
    for (int waited = 0; !condition(); waited += 5) {
        if (waited >= timeoutMs)
            return false;
        QTest::qWait(5);
    }
    return true;
}

// Two rules: every second holding read answered with exception 4, every write of one register
// left unanswered.
const QString kRules = QStringLiteral("seed = 7\n"
                                      "\n"
                                      "[[rule]]\n"
                                      "name = \"holding reads\"\n"
                                      "fault = \"exception\"\n"
                                      "code = 4\n"
                                      "function = 3\n"
                                      "address = \"0-99\"\n"
                                      "every = 2\n"
                                      "\n"
                                      "[[rule]]\n"
                                      "name = \"writes\"\n"
                                      "fault = \"no-reply\"\n"
                                      "function = 6\n"
                                      "times = 3\n");

// Read one holding register at `address` with transaction identifier `ti`.
std::vector<uint8_t> ReadHolding(uint8_t ti, uint8_t address = 0)
{
    return {0x00, ti, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, address, 0x00, 0x01};
}

enum Col { On = 0, Name, Kind, Scope, Schedule, Matched, Fired };

class FaultRulesWindowTest : public testing::ShellFixture {
  protected:
    // The window, open, with kRules applied from its editor; nullptr when that failed.
    FaultRulesWindow* openWithRules(TChatForm& form)
    {
        FaultRulesWindow* w = open(form);
        if (!w)
            return nullptr;
        w->editor()->setPlainText(kRules);
        return w->Apply1Click() ? w : nullptr;
    }
    FaultRulesWindow* open(TChatForm& form)
    {
        auto* menu = form.findChild<ModbusOptionsMenu*>();
        if (menu == nullptr)
            return nullptr;
        menu->FaultRules1->trigger();
        return menu->faultRulesWindow();
    }
    ServerService& service(TChatForm& form) { return form.serverConnections().service(); }
    QString panelRow(TChatForm& form)
    {
        auto* label = form.findChild<QLabel*>(QStringLiteral("lblFaultRules"));
        return label ? label->text() : QStringLiteral("<no label>");
    }
    static QString cell(FaultRulesWindow* w, int row, int column)
    {
        const QTableWidgetItem* item = w->table()->item(row, column);
        return item ? item->text() : QStringLiteral("<no cell>");
    }
    // A client on the window's server, taken into slot 1 (the window lets the server take it).
    std::unique_ptr<LoopbackClient> connectClient(TChatForm& form)
    {
        auto client = std::make_unique<LoopbackClient>(static_cast<uint16_t>(form.serverConnections().ServerPort));
        if (!client->connected() || !WaitFor([&] { return form.serverConnections().mConnection(1)->isEnabled(); }))
            return nullptr;
        return client;
    }
    // Sends the holding reads and returns the function code of each reply (0: none came within
    // 3 s); the window's events go on meanwhile.
    static std::vector<int> readHoldings(LoopbackClient& client, int count, uint8_t address = 0)
    {
        std::vector<int> functions;
        for (int i = 0; i < count; ++i) {
            const uint8_t ti = static_cast<uint8_t>(i + 1);
            if (!client.send(ReadHolding(ti, address)))
                return functions;
            // The header's length field says where the reply ends.
            std::vector<uint8_t> reply;
            auto whole = [&reply] { return reply.size() >= 6 ? 6u + (size_t{reply[4]} << 8 | reply[5]) : 7u; };
            WaitFor([&] {
                const std::vector<uint8_t> more = client.receive(whole() - reply.size(), 0);
                reply.insert(reply.end(), more.begin(), more.end());
                return reply.size() >= whole() || client.peerClosed();
            });
            functions.push_back(reply.size() >= 8 ? reply[7] : 0);
        }
        return functions;
    }
    QString writeFile(const QString& name, const QString& text)
    {
        const QString path = files.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(text.toUtf8());
        return path;
    }
    static QString readFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<unreadable>");
    }

    QTemporaryDir files;
};

TEST_F(FaultRulesWindowTest, MenuItemShowsOneWindowAgainAndItsCountersRefreshOnlyWhileShown)
{
    TChatForm& form = start();
    FaultRulesWindow* w = open(form);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "Fault Rules");
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->isModal());
    EXPECT_TRUE(w->isWindow());
    EXPECT_TRUE(w->refreshTimer()->isActive());
    EXPECT_EQ(w->refreshTimer()->interval(), 501);
    EXPECT_EQ(w->table()->rowCount(), 0);
    EXPECT_TRUE(w->editor()->toPlainText().isEmpty());
    EXPECT_EQ(AccessibleNameFaults(w), "");
    // Tab reaches every control, and leaves the table and the editor for the next one.
    for (QWidget* control : std::initializer_list<QWidget*>{w->table(), w->editor(), w->Apply1(), w->Load1(),
                                                            w->Save1(), w->Clear1(), w->ResetCounters1()})
        EXPECT_TRUE(control->focusPolicy() & Qt::TabFocus) << control->objectName().toStdString();
    EXPECT_TRUE(w->editor()->tabChangesFocus());
    EXPECT_FALSE(w->table()->tabKeyNavigation());
    EXPECT_EQ(w->Apply1()->text(), "&Apply");
    EXPECT_EQ(w->ResetCounters1()->text(), "Reset &Counters");
    EXPECT_EQ(w->editor()->font().family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());

    w->close();
    EXPECT_FALSE(w->refreshTimer()->isActive());
    EXPECT_EQ(open(form), w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->refreshTimer()->isActive());
    EXPECT_EQ(form.findChildren<FaultRulesWindow*>().size(), 1);
}

TEST_F(FaultRulesWindowTest, TableShowsTheRulesAndItsCountersFollowTheRequestsInPlace)
{
    TChatForm& form = start();
    FaultRulesWindow* w = open(form);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(panelRow(form), "Off");
    w->editor()->setPlainText(kRules);
    w->Apply1()->click();
    EXPECT_EQ(w->errorLine()->text(), "");
    EXPECT_EQ(service(form).faultRulesText(), kRules);
    ASSERT_EQ(w->table()->rowCount(), 2);
    const std::vector<std::vector<QString>> rows{
        {"holding reads", "exception", "fc 3, addr 0-99", "every 2", "0", "0"},
        {"writes", "no-reply", "fc 6", "times 3", "0", "0"},
    };
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(w->table()->item(row, On)->checkState(), Qt::Checked);
        for (int column = Name; column <= Fired; ++column)
            EXPECT_EQ(cell(w, row, column), rows[row][column - 1]) << "row " << row << " column " << column;
    }
    EXPECT_EQ(panelRow(form), "2 active, 0 fired");

    // The user's selection and the rows' cells outlive the refreshes.
    w->table()->selectRow(1);
    QTableWidgetItem* nameCell = w->table()->item(0, Name);

    const auto connection = connectClient(form);
    ASSERT_NE(connection, nullptr);
    LoopbackClient& client = *connection;
    // Every second matching read fires; a read outside the address scope is not matched.
    EXPECT_EQ(readHoldings(client, 3), (std::vector<int>{0x03, 0x83, 0x03}));
    EXPECT_EQ(readHoldings(client, 1, 100), (std::vector<int>{0x03}));
    EXPECT_TRUE(WaitFor([&] { return cell(w, 0, Matched) == "3"; })) << cell(w, 0, Matched).toStdString();
    EXPECT_EQ(cell(w, 0, Fired), "1");
    EXPECT_EQ(cell(w, 1, Matched), "0");
    EXPECT_EQ(w->table()->item(0, Name), nameCell);
    EXPECT_EQ(w->table()->currentRow(), 1);
    EXPECT_TRUE(w->table()->item(1, Name)->isSelected());
    EXPECT_TRUE(WaitFor([&] { return panelRow(form) == "2 active, 1 fired"; })) << panelRow(form).toStdString();
}

TEST_F(FaultRulesWindowTest, EnabledBoxSwitchesItsRuleOffAndOn)
{
    TChatForm& form = start();
    FaultRulesWindow* w = openWithRules(form);
    ASSERT_NE(w, nullptr);
    const auto connection = connectClient(form);
    ASSERT_NE(connection, nullptr);
    LoopbackClient& client = *connection;

    w->table()->item(0, On)->setCheckState(Qt::Unchecked);
    ASSERT_EQ(service(form).faultCounters().size(), 2u);
    EXPECT_FALSE(service(form).faultCounters()[0].enabled);
    EXPECT_TRUE(service(form).faultCounters()[1].enabled);
    EXPECT_EQ(panelRow(form), "1 active, 0 fired");
    EXPECT_EQ(readHoldings(client, 2), (std::vector<int>{0x03, 0x03}));
    w->refreshCounters();
    EXPECT_EQ(cell(w, 0, Matched), "0");

    // From the keyboard: Space on the box switches it back on.
    w->table()->setFocus();
    w->table()->setCurrentCell(0, On);
    QTest::keyClick(w->table(), Qt::Key_Space);
    EXPECT_EQ(w->table()->item(0, On)->checkState(), Qt::Checked);
    EXPECT_TRUE(service(form).faultCounters()[0].enabled);
    EXPECT_EQ(panelRow(form), "2 active, 0 fired");
    EXPECT_EQ(readHoldings(client, 2), (std::vector<int>{0x03, 0x83}));

    // A rule switched elsewhere (D-Bus) shows its box anew at the next refresh.
    ASSERT_TRUE(service(form).setFaultRuleEnabled(QStringLiteral("writes"), false));
    EXPECT_EQ(w->table()->item(1, On)->checkState(), Qt::Unchecked);
    EXPECT_FALSE(service(form).faultCounters()[1].enabled); // showing the box did not switch it back
}

TEST_F(FaultRulesWindowTest, ApplyWithAnErrorShowsItUnderTheEditorAndKeepsTheRulesInForce)
{
    TChatForm& form = start();
    FaultRulesWindow* w = openWithRules(form);
    ASSERT_NE(w, nullptr);

    const QString broken = QStringLiteral("[[rule]]\nfault = \"delay\"\nevery = 0\n");
    w->editor()->setPlainText(broken);
    w->Apply1()->click();
    EXPECT_TRUE(w->errorLine()->text().startsWith("line 3, column ")) << w->errorLine()->text().toStdString();
    EXPECT_TRUE(w->errorLine()->text().contains("\"every\"")) << w->errorLine()->text().toStdString();
    EXPECT_EQ(w->editor()->toPlainText(), broken); // the text stays to be mended
    EXPECT_EQ(service(form).faultRulesText(), kRules);
    EXPECT_EQ(w->table()->rowCount(), 2);
    EXPECT_EQ(panelRow(form), "2 active, 0 fired");

    w->editor()->setPlainText(QStringLiteral("[[rule]]\nname = \"slow\"\nfault = \"delay\"\ndelay_ms = 5\n"));
    w->Apply1()->click();
    EXPECT_EQ(w->errorLine()->text(), "");
    ASSERT_EQ(w->table()->rowCount(), 1);
    EXPECT_EQ(cell(w, 0, Name), "slow");
    EXPECT_EQ(cell(w, 0, Scope), "any");
    EXPECT_EQ(panelRow(form), "1 active, 0 fired");
}

TEST_F(FaultRulesWindowTest, SaveAndLoadRoundTripThroughAFolder)
{
    ASSERT_TRUE(files.isValid());
    TChatForm& form = start();
    FaultRulesWindow* w = open(form);
    ASSERT_NE(w, nullptr);
    const QString path = writeFile(QStringLiteral("rules.toml"), QStringLiteral("old content"));
    w->editor()->setPlainText(kRules);
    ASSERT_TRUE(w->saveFile(path));
    EXPECT_EQ(readFile(path), kRules);
    // The save wrote beside the file and renamed it: nothing else is left in the folder.
    EXPECT_EQ(QDir(files.path()).entryList(QDir::Files), QStringList{QStringLiteral("rules.toml")});

    w->Clear1()->click();
    ASSERT_TRUE(w->loadFile(path));
    EXPECT_EQ(w->editor()->toPlainText(), kRules);
    EXPECT_EQ(service(form).faultRulesText(), kRules);
    EXPECT_EQ(w->table()->rowCount(), 2);
    EXPECT_TRUE(messages.empty());

    // A save that cannot be done leaves a message and no file.
    const QString nowhere = files.filePath(QStringLiteral("missing/rules.toml"));
    EXPECT_FALSE(w->saveFile(nowhere));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("Cannot save file \"" + nowhere + "\": "))
        << messages[0].text.toStdString();
    EXPECT_FALSE(QFile::exists(nowhere));
}

TEST_F(FaultRulesWindowTest, LoadOfAnUnreadableOrBrokenFileAppliesNothing)
{
    ASSERT_TRUE(files.isValid());
    TChatForm& form = start();
    FaultRulesWindow* w = openWithRules(form);
    ASSERT_NE(w, nullptr);

    const QString missing = files.filePath(QStringLiteral("none.toml"));
    EXPECT_FALSE(w->loadFile(missing));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Fault Rules");
    EXPECT_EQ(messages[0].text, "Cannot read file \"" + missing + "\": No such file or directory");
    EXPECT_FALSE(w->loadFile(files.path()));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, "Cannot read file \"" + files.path() + "\": it is a folder");
    EXPECT_EQ(w->editor()->toPlainText(), kRules);

    const QString big = writeFile(QStringLiteral("big.toml"), QString(kFaultRulesFileLimit + 1, QLatin1Char('#')));
    EXPECT_FALSE(w->loadFile(big));
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_TRUE(messages[2].text.endsWith("bytes; at most 1048576)")) << messages[2].text.toStdString();

    const QString broken = writeFile(QStringLiteral("broken.toml"), QStringLiteral("seed = 1\nspeed = 3\n"));
    EXPECT_FALSE(w->loadFile(broken));
    EXPECT_EQ(messages.size(), 3u);
    EXPECT_TRUE(w->errorLine()->text().startsWith("line 2, column 1: ")) << w->errorLine()->text().toStdString();
    EXPECT_EQ(w->editor()->toPlainText(), "seed = 1\nspeed = 3\n");
    EXPECT_EQ(service(form).faultRulesText(), kRules);
    EXPECT_EQ(w->table()->rowCount(), 2);
}

TEST_F(FaultRulesWindowTest, ResetCountersAndClear)
{
    TChatForm& form = start();
    FaultRulesWindow* w = openWithRules(form);
    ASSERT_NE(w, nullptr);
    const auto connection = connectClient(form);
    ASSERT_NE(connection, nullptr);
    LoopbackClient& client = *connection;
    EXPECT_EQ(readHoldings(client, 4), (std::vector<int>{0x03, 0x83, 0x03, 0x83}));
    EXPECT_TRUE(WaitFor([&] { return panelRow(form) == "2 active, 2 fired"; })) << panelRow(form).toStdString();

    w->ResetCounters1()->click();
    EXPECT_EQ(cell(w, 0, Matched), "0");
    EXPECT_EQ(cell(w, 0, Fired), "0");
    EXPECT_EQ(panelRow(form), "2 active, 0 fired");
    // The schedule goes on: the next read is the fifth matching one, not a first.
    EXPECT_EQ(readHoldings(client, 2), (std::vector<int>{0x03, 0x83}));

    w->Clear1()->click();
    EXPECT_EQ(w->table()->rowCount(), 0);
    EXPECT_TRUE(w->editor()->toPlainText().isEmpty());
    EXPECT_TRUE(service(form).faultRulesText().isEmpty());
    EXPECT_EQ(panelRow(form), "Off");
    EXPECT_EQ(readHoldings(client, 2), (std::vector<int>{0x03, 0x03}));
}

TEST_F(FaultRulesWindowTest, RulesAppliedElsewhereAreShownInTheEditorAndTable)
{
    TChatForm& form = start();
    ASSERT_FALSE(service(form).loadFaultRules(kRules).has_value());
    FaultRulesWindow* w = open(form);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->editor()->toPlainText(), kRules);
    EXPECT_EQ(w->table()->rowCount(), 2);

    const QString other = QStringLiteral("[[rule]]\nname = \"cut\"\nfault = \"truncate\"\nunit = 9\n");
    ASSERT_FALSE(service(form).loadFaultRules(other).has_value());
    EXPECT_EQ(w->editor()->toPlainText(), other);
    ASSERT_EQ(w->table()->rowCount(), 1);
    EXPECT_EQ(cell(w, 0, Kind), "truncate");
    EXPECT_EQ(cell(w, 0, Scope), "unit 9");
}

TEST_F(FaultRulesWindowTest, CommandLineFaultsFileAppliesAtStartBesideTheRegisterFile)
{
    ASSERT_TRUE(files.isValid());
    const QString rules = writeFile(QStringLiteral("rules.toml"), kRules);
    const QString registers = files.filePath(QStringLiteral("plant.korvel"));
    {
        TChatForm& first = start();
        first.store().setHolding(7, 4242);
        ASSERT_TRUE(first.variableListFile()->saveFile(registers));
        stop(0);
    }
    TChatForm& form = start({registers, QStringLiteral("--faults"), rules});
    EXPECT_TRUE(messages.empty()) << texts().join('\n').toStdString();
    EXPECT_EQ(form.store().holding(7), 4242);
    EXPECT_EQ(service(form).faultRulesText(), kRules);
    EXPECT_EQ(panelRow(form), "2 active, 0 fired");
    FaultRulesWindow* w = open(form);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->table()->rowCount(), 2);
}

TEST_F(FaultRulesWindowTest, CommandLineFaultsFileWithAnErrorIsToldAndAppliesNothing)
{
    ASSERT_TRUE(files.isValid());
    const QString broken = writeFile(QStringLiteral("broken.toml"), QStringLiteral("[[rule]]\nfault = \"slow\"\n"));
    TChatForm& form = start({QStringLiteral("--faults=") + broken});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Fault Rules");
    EXPECT_TRUE(messages[0].text.startsWith("Fault rules in \"" + broken + "\": line 2, column "))
        << messages[0].text.toStdString();
    EXPECT_TRUE(service(form).faultRulesText().isEmpty());
    EXPECT_EQ(panelRow(form), "Off");
    EXPECT_TRUE(form.serverConnections().service().listening()); // the window still starts

    // The later windows are told of their changed port too: only the fault rules' message counts.
    auto faultMessages = [this] {
        QStringList out;
        for (const ShownMessage& m : messages)
            if (m.caption == "Fault Rules")
                out << m.text;
        return out;
    };
    const QString missing = files.filePath(QStringLiteral("none.toml"));
    messages.clear();
    start({QStringLiteral("--faults"), missing});
    EXPECT_EQ(faultMessages(), QStringList{"Cannot read file \"" + missing + "\": No such file or directory"});
    EXPECT_TRUE(service(ShellFixture::form(1)).faultRulesText().isEmpty());

    messages.clear();
    start({QStringLiteral("--faults")});
    EXPECT_EQ(faultMessages(), QStringList{"--faults needs the name of a rule file"});
}

} // namespace
} // namespace korvel
