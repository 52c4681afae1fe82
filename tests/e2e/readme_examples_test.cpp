// The shell examples of README.md, run as a reader runs them. A block marked
// "<!-- example: korvel korvel-server -->" (or one of the two) runs against a window in this
// process and against a korvel-server, each publishing all registers on a free port that
// replaces 1502; a shared bus name it names becomes that instance's own connection, as other
// instances of the test run share the bus. A block marked "<!-- example -->" starts korvel-server
// itself and runs as it stands on a private session bus. Every command must succeed, and the
// comment lines right below a command are what it prints ("..." first: a part of it).
#include "dde/bus_names.h"
#include "dde/publishing_fixture.h"
#include "e2e/korvel_process.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <vector>

namespace korvel::testing {
namespace {

const QString kWindow = QStringLiteral("korvel");
const QString kServer = QStringLiteral("korvel-server");

// A marked shell block of the README.
struct Example {
    int line = 0;         // README line of the block's first line
    QStringList programs; // empty: the block starts what it needs itself
    QStringList lines;    // without the block's indent
};

std::vector<Example> ReadmeExamples()
{
    QFile file(QStringLiteral(KORVEL_SOURCE_DIR "/README.md"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList all = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    static const QRegularExpression marker(QStringLiteral("^<!-- example(?::([^>]*))? -->$"));
    std::vector<Example> examples;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const QRegularExpressionMatch m = marker.match(all[i].trimmed());
        if (!m.hasMatch())
            continue;
        Example example;
        example.programs = m.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        qsizetype j = i + 1;
        while (j < all.size() && all[j].trimmed().isEmpty())
            ++j;
        example.line = static_cast<int>(j + 1);
        for (; j < all.size() && (all[j].startsWith(QLatin1String("    ")) || all[j].trimmed().isEmpty()); ++j)
            example.lines << all[j].mid(4);
        while (!example.lines.isEmpty() && example.lines.last().trimmed().isEmpty())
            example.lines.removeLast();
        examples.push_back(example);
    }
    return examples;
}

// What a command of an example must print.
struct Quote {
    int line = 0;    // README line of the command
    QString command; // as written
    QString text;    // the quoted output, runs of blanks made one
    bool part = false;
};

// Runs of blanks (line ends too) made one; times of the event lines made "<time>".
QString Normalized(QString text)
{
    static const QRegularExpression time(
        QStringLiteral("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d)"));
    return text.replace(time, QStringLiteral("<time>")).simplified();
}

// The example as a script: each command with a quoted output writes it to $KORVEL_EXAMPLE_OUT/<n>.
struct Script {
    QString text;
    std::vector<Quote> quotes;
};

Script PrepareScript(const Example& example, const std::vector<std::pair<QRegularExpression, QString>>& names)
{
    QStringList lines = example.lines;
    for (QString& line : lines)
        for (const auto& [pattern, replacement] : names)
            line.replace(pattern, replacement);
    const auto isComment = [](const QString& line) { return line.trimmed().startsWith(QLatin1Char('#')); };
    Script script;
    QStringList out;
    for (qsizetype i = 0; i < lines.size();) {
        if (lines[i].trimmed().isEmpty() || isComment(lines[i])) {
            out << lines[i++];
            continue;
        }
        // A command and its continuation lines.
        const qsizetype first = i;
        while (lines[i].endsWith(QLatin1Char('\\')) && i + 1 < lines.size())
            ++i;
        const QStringList command = lines.mid(first, i - first + 1);
        ++i;
        QStringList quoted;
        for (; i < lines.size() && isComment(lines[i]); ++i)
            quoted << lines[i].trimmed().mid(1);
        if (quoted.isEmpty()) {
            out << command;
            continue;
        }
        Quote quote;
        quote.line = example.line + static_cast<int>(first);
        quote.command = command.join(QLatin1Char('\n'));
        quote.text = Normalized(quoted.join(QLatin1Char(' ')));
        if (quote.text.startsWith(QLatin1String("..."))) {
            quote.part = true;
            quote.text = quote.text.mid(3).trimmed();
        }
        out << QStringLiteral("{ ") + command.join(QLatin1Char('\n'));
        out << QStringLiteral("} >\"$KORVEL_EXAMPLE_OUT/%1\" 2>&1").arg(script.quotes.size());
        script.quotes.push_back(quote);
    }
    script.text = out.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return script;
}

// The port and the names a run puts in place of the README's.
std::vector<std::pair<QRegularExpression, QString>> Names(uint16_t port, const QString& sharedName = {},
                                                          const QString& ownName = {})
{
    std::vector<std::pair<QRegularExpression, QString>> names{
        {QRegularExpression(QStringLiteral("(?<![0-9])1502(?![0-9])")), QString::number(port)}};
    if (!sharedName.isEmpty())
        names.emplace_back(
            QRegularExpression(QRegularExpression::escape(sharedName) + QStringLiteral("(?![A-Za-z0-9_.])")), ownName);
    return names;
}

// Runs the example's script in a folder of its own (serving this thread's event loop meanwhile, so
// that a window in this process answers) and checks its exit code and every quoted output.
void RunExample(const Example& example, const std::vector<std::pair<QRegularExpression, QString>>& names,
                bool privateBus, const QString& program)
{
    SCOPED_TRACE(QStringLiteral("README.md:%1 against %2").arg(example.line).arg(program).toStdString());
    const Script script = PrepareScript(example, names);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString outputs = dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(outputs));
    QFile file(dir.filePath(QStringLiteral("example.sh")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(script.text.toUtf8());
    file.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString programs = QFileInfo(QStringLiteral(KORVEL_SERVER_EXECUTABLE)).absolutePath();
    env.insert(QStringLiteral("PATH"), programs + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
    env.insert(QStringLiteral("KORVEL_EXAMPLE_OUT"), outputs);
    env.insert(QStringLiteral("KORVEL_ATOM_DIR"), dir.filePath(QStringLiteral("atoms")));
    env.remove(QStringLiteral("KORVEL_PORT"));
    QProcess shell;
    shell.setProcessEnvironment(env);
    shell.setWorkingDirectory(dir.path());
    shell.setProcessChannelMode(QProcess::MergedChannels);
    const QStringList run{QStringLiteral("sh"), QStringLiteral("-e"), file.fileName()};
    if (privateBus)
        shell.start(QStringLiteral("dbus-run-session"), QStringList{QStringLiteral("--")} + run);
    else
        shell.start(run.first(), run.mid(1));
    ASSERT_TRUE(shell.waitForStarted(10000));
    const bool ended = WaitUntil([&] { return shell.state() == QProcess::NotRunning; }, 60000);
    if (!ended) {
        shell.kill();
        shell.waitForFinished(5000);
    }
    const QString said = QString::fromUtf8(shell.readAll());
    ASSERT_TRUE(ended) << "the example did not end within 60 s:\n" << said.toStdString();
    EXPECT_EQ(shell.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(shell.exitCode(), 0) << "a command failed:\n" << script.text.toStdString() << said.toStdString();

    for (size_t n = 0; n < script.quotes.size(); ++n) {
        const Quote& quote = script.quotes[n];
        QFile printed(QStringLiteral("%1/%2").arg(outputs).arg(n));
        ASSERT_TRUE(printed.open(QIODevice::ReadOnly))
            << "README.md:" << quote.line << " did not run: " << quote.command.toStdString();
        const QString output = Normalized(QString::fromUtf8(printed.readAll()));
        if (quote.part) {
            EXPECT_TRUE(output.contains(quote.text))
                << "README.md:" << quote.line << " " << quote.command.toStdString()
                << "\n  printed: " << output.toStdString() << "\n  README:  ... " << quote.text.toStdString();
        } else {
            EXPECT_EQ(output.toStdString(), quote.text.toStdString())
                << "README.md:" << quote.line << " " << quote.command.toStdString();
        }
    }
}

std::vector<Example> ExamplesFor(const QString& program)
{
    std::vector<Example> chosen;
    for (const Example& e : ReadmeExamples())
        if (program.isEmpty() ? e.programs.isEmpty() : e.programs.contains(program))
            chosen.push_back(e);
    return chosen;
}

TEST(ReadmeExamples, AreMarkedForKnownProgramsAndQuoteWhatTheyPrint)
{
    const std::vector<Example> examples = ReadmeExamples();
    size_t quotes = 0;
    for (const Example& e : examples) {
        EXPECT_FALSE(e.lines.isEmpty()) << "README.md:" << e.line << ": a marker without a block below it";
        for (const QString& program : e.programs)
            EXPECT_TRUE(program == kWindow || program == kServer)
                << "README.md:" << e.line << ": unknown program " << program.toStdString();
        quotes += PrepareScript(e, {}).quotes.size();
    }
    // The blocks this test runs; a lost marker would let their texts drift unchecked.
    EXPECT_GE(ExamplesFor(kWindow).size(), 3u);
    EXPECT_GE(ExamplesFor(kServer).size(), 2u);
    EXPECT_GE(ExamplesFor({}).size(), 2u);
    EXPECT_GE(quotes, 10u);
}

// The parts of a script: a quote belongs to the command right above it, a comment after a blank
// line or at the start is the reader's, and a continued command is quoted whole.
TEST(ReadmeExamples, QuotesBelongToTheCommandAbove)
{
    Example e;
    e.line = 10;
    e.lines = QStringList{QStringLiteral("# a remark"),
                          QStringLiteral("echo a \\"),
                          QStringLiteral("    b        # the two words"),
                          QStringLiteral("# a   b"),
                          QStringLiteral(""),
                          QStringLiteral("# another remark"),
                          QStringLiteral("printf 'x\\ty\\nz 1502\\n'"),
                          QStringLiteral("# ... y z 1502")};
    const Script script = PrepareScript(e, Names(4321));
    ASSERT_EQ(script.quotes.size(), 2u);
    EXPECT_EQ(script.quotes[0].line, 11);
    EXPECT_EQ(script.quotes[0].text.toStdString(), "a b");
    EXPECT_FALSE(script.quotes[0].part);
    EXPECT_EQ(script.quotes[1].line, 16);
    EXPECT_EQ(script.quotes[1].text.toStdString(), "y z 4321");
    EXPECT_TRUE(script.quotes[1].part);
    EXPECT_TRUE(script.text.startsWith("# a remark\n{ echo a \\\n    b        # the two words\n} >"))
        << script.text.toStdString();
    EXPECT_TRUE(script.text.contains("# another remark\n")) << script.text.toStdString();

    // A shared name is replaced as a whole name only, never inside a longer one.
    Example names;
    names.lines =
        QStringList{QStringLiteral("x org.korvel.korvel org.korvel.korvel.Port1502 org.korvel.korvel_server")};
    EXPECT_EQ(PrepareScript(names, Names(7, QStringLiteral("org.korvel.korvel"), QStringLiteral(":1.9"))).text,
              "x :1.9 org.korvel.korvel.Port7 org.korvel.korvel_server\n");
}

// The window, as the program builds it, publishing every register.
class ReadmeOnTheWindow : public PublishingFixture {};

TEST_F(ReadmeOnTheWindow, ExamplesRunAgainstTheWindow)
{
    choose(kAllInputAndHolding);
    ASSERT_TRUE(created());
    ASSERT_TRUE(
        WaitUntil([&] { return client().request(QStringLiteral("holding"), QStringLiteral("r65535")) == "0"; }, 30000));
    // The README's shared name is the first window's; here it is this window's own connection.
    const auto names = Names(modbusPort(), QStringLiteral("org.korvel.korvel"), server);
    for (const Example& example : ExamplesFor(kWindow))
        RunExample(example, names, false, kWindow);
}

TEST(ReadmeOnKorvelServer, ExamplesRunAgainstKorvelServer)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        GTEST_SKIP() << "no session bus (run inside dbus-run-session)";
    KorvelProcess server(
        {}, 0,
        {QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--publish"), QStringLiteral("all")},
        QStringLiteral(KORVEL_SERVER_EXECUTABLE));
    server.waitForErrorText(QStringLiteral("D-Bus publishing"));
    ASSERT_TRUE(server.start()) << server.errors().toStdString();
    const QString portName = PortBusName(server.basePort());
    const auto request = [&](const char* topic, const char* item) {
        QDBusMessage m = QDBusMessage::createMethodCall(portName, QLatin1Char('/') + QLatin1String(topic),
                                                        texts::kTopicInterface, QStringLiteral("Request"));
        m << QString::fromLatin1(item);
        const QDBusMessage reply = bus.call(m, QDBus::Block, 5000);
        return reply.arguments().value(0).toString();
    };
    // Both tables made to their last item.
    ASSERT_TRUE(
        WaitUntil([&] { return request("input", "r65535") == "0" && request("holding", "r65535") == "0"; }, 30000));
    const QString own = bus.interface()->serviceOwner(portName).value();
    const auto names = Names(server.basePort(), QStringLiteral("org.korvel.korvel_server"), own);
    for (const Example& example : ExamplesFor(kServer))
        RunExample(example, names, false, kServer);
}

TEST(ReadmeSelfContained, ExamplesThatStartKorvelServerRunAsTheyStand)
{
    for (const Example& example : ExamplesFor({}))
        RunExample(example, Names(FreeLoopbackPort()), true, QStringLiteral("a private session bus"));
}

} // namespace
} // namespace korvel::testing
