// File > "&Open..." and "&Save As..." in the main window: the dialogs, the file on disk, the
// register lists of the view, the failure boxes and the command-line file at start-up.
#include "shell/main_window.h"
#include "support/file_size_limit.h"
#include "support/test_net.h"
#include "ui/message_box.h"
#include "view/register_list_view.h"
#include "view/variable_list_file.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace korvel {
namespace {

QByteArray Numbers0To25()
{
    QByteArray out;
    for (int i = 0; i < 26; ++i) {
        out += QByteArray::number(i) + "\r\n";
    }
    return out;
}

class VariableListFileTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(atomDir.isValid());
        qputenv("KORVEL_ATOM_DIR", atomDir.path().toUtf8());
        qputenv("KORVEL_PORT", QByteArray::number(testing::FreeLoopbackPort()));
        SetMessageHook([this](const ShownMessage& m) {
            messages.push_back(m);
            return QMessageBox::Ok;
        });
    }
    void TearDown() override
    {
        window.reset();
        SetMessageHook(nullptr);
        qunsetenv("KORVEL_ATOM_DIR");
        qunsetenv("KORVEL_PORT");
    }

    TChatForm& start(const QStringList& arguments = {})
    {
        window = std::make_unique<TChatForm>(store, engine, arguments);
        return *window;
    }
    VariableListFile& files() { return *window->variableListFile(); }
    RegisterListView& list() { return *window->registerList(); }

    // Answers the next file dialog: `check` looks at it, then `fileName` is chosen (empty: cancel).
    void answerDialog(const QString& fileName, std::function<void(QFileDialog&)> check = {})
    {
        QTimer::singleShot(0, [fileName, check] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            if (check) {
                check(*dialog);
            }
            if (fileName.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(fileName);
                static_cast<QDialog*>(dialog)->accept(); // accept() is protected in QFileDialog
            }
        });
    }

    QByteArray read(const QString& path)
    {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }
    void write(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // Everything but the date comment, which is the second line from the end.
    static QByteArray withoutDate(QByteArray text)
    {
        const qsizetype eof = text.lastIndexOf("#EOF");
        const qsizetype date = text.lastIndexOf("\r\n// ", eof - 3);
        return text.left(date) + text.mid(eof - 2);
    }

    QTemporaryDir dir;
    QTemporaryDir atomDir;
    RegisterStore store;
    ServerEngine engine{store};
    std::unique_ptr<TChatForm> window;
    std::vector<ShownMessage> messages;
};

TEST_F(VariableListFileTest, MenuItemsAndDialogs)
{
    start();
    const QList<QAction*> items = window->fileMenu()->actions();
    ASSERT_GE(items.size(), 3);
    EXPECT_EQ(items[0]->text(), "&Open...");
    EXPECT_EQ(items[0]->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(items[1]->text(), "&Save As...");
    EXPECT_EQ(items[1]->shortcut(), QKeySequence("Ctrl+S"));

    bool sawSave = false;
    answerDialog({}, [&sawSave](QFileDialog& d) {
        sawSave = true;
        EXPECT_EQ(d.windowTitle(), "Save Korvel variable list");
        EXPECT_EQ(d.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(d.nameFilters(), QStringList{"Korvel variable list [*.korvel] (*.korvel)"});
        EXPECT_EQ(d.defaultSuffix(), "korvel");
        EXPECT_FALSE(d.testOption(QFileDialog::DontConfirmOverwrite));
    });
    EXPECT_FALSE(files().Save1Click());
    EXPECT_TRUE(sawSave);

    bool sawOpen = false;
    answerDialog({}, [&sawOpen](QFileDialog& d) {
        sawOpen = true;
        EXPECT_EQ(d.windowTitle(), "Open Korvel variable list");
        EXPECT_EQ(d.acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(d.fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(d.defaultSuffix(), "korvel");
        EXPECT_FALSE(d.testOption(QFileDialog::ReadOnly));
    });
    EXPECT_FALSE(files().Open1Click());
    EXPECT_TRUE(sawOpen);
    EXPECT_TRUE(messages.empty());
}

TEST_F(VariableListFileTest, SaveWritesTheExampleFile)
{
    start();
    store.setHolding(5, 1234);
    store.setInput(7, 1);
    answerDialog(dir.filePath("setup")); // the default extension is added
    ASSERT_TRUE(files().Save1Click());
    const QByteArray text = read(dir.filePath("setup.korvel"));
    const QByteArray expected = "#Korvel 1.8.2\r\n//\r\n2000005|1234\r\n1000007|1\r\n#EOR\r\n" + Numbers0To25() +
                                "#EOVLI\r\n" + Numbers0To25() + "#EOVLH\r\n//\r\n// 2 (1/1)\r\n#EOF\r\n";
    EXPECT_EQ(withoutDate(text), expected);
    EXPECT_TRUE(text.contains("(1/1)\r\n// ")); // the date comment is there
}

TEST_F(VariableListFileTest, HexRegisterModeSavesDecimalAndLoadsHexLabels)
{
    start();
    list().setLabel(false, 0, "65535");
    list().setLabel(true, 25, "4660");
    list().registersAsHexAction()->trigger();
    ASSERT_TRUE(window->viewOptions().Showregistersathex());
    ASSERT_EQ(list().label(false, 0), "FFFF");
    const QString path = dir.filePath("hex.korvel");
    ASSERT_TRUE(files().saveFile(path));
    const QByteArray text = read(path);
    EXPECT_TRUE(text.contains("#EOR\r\n0\r\n1\r\n"));
    EXPECT_TRUE(text.contains("\r\n4660\r\n#EOVLI\r\n65535\r\n1\r\n"));

    list().setLabel(false, 0, "0000");
    list().setLabel(true, 25, "0000");
    ASSERT_TRUE(files().loadFile(path));
    EXPECT_EQ(list().label(false, 0), "FFFF");
    EXPECT_EQ(list().label(true, 25), "1234");
    EXPECT_EQ(list().label(true, 10), "000A");
    EXPECT_TRUE(window->viewOptions().VLEUpdateNeeded);
}

TEST_F(VariableListFileTest, OpenClearsEverythingElseAndFailuresNameTheLine)
{
    start();
    const QString good = dir.filePath("good.korvel");
    write(good, "#Korvel 1.8.2\r\n2000010|-1\r\n1000011|65536\r\n#EOR\r\n100\r\n#EOVLI\r\n200\r\n#EOVLH\r\n#EOF\r\n");
    store.setHolding(1, 9);
    store.setInput(2, 9);
    answerDialog(good);
    ASSERT_TRUE(files().Open1Click());
    EXPECT_EQ(store.holding(10), 65535);
    EXPECT_EQ(store.input(11), 0);
    EXPECT_EQ(store.holding(1), 0);
    EXPECT_EQ(store.input(2), 0);
    EXPECT_EQ(list().label(true, 0), "100");
    EXPECT_EQ(list().label(false, 0), "200");
    EXPECT_EQ(list().label(false, 1), "1");

    const QString bad = dir.filePath("bad.korvel");
    write(bad, "2000001|7\r\n  // not a comment here\r\n2000002|8\r\n");
    window->viewOptions().VLEUpdateNeeded = false;
    EXPECT_FALSE(files().loadFile(bad));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Opening file");
    EXPECT_EQ(messages[0].text, "'// not ' is not a valid integer value\nLine 2:   // not a comment here");
    EXPECT_EQ(store.holding(1), 7);
    EXPECT_EQ(store.holding(2), 0);
    EXPECT_EQ(store.holding(10), 0);
    EXPECT_FALSE(window->viewOptions().VLEUpdateNeeded);

    messages.clear();
    EXPECT_FALSE(files().loadFile(dir.filePath("missing.korvel")));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Opening file");
    EXPECT_EQ(store.holding(1), 7); // nothing was cleared
}

TEST_F(VariableListFileTest, FailedSaveLeavesThePreviousFile)
{
    start();
    const QString path = dir.filePath("keep.korvel");
    write(path, "previous content\r\n");
    store.setHolding(1, 1);
    {
        testing::FileSizeLimit full(64);
        EXPECT_FALSE(files().saveFile(path));
    }
    EXPECT_EQ(read(path), "previous content\r\n");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Save as...");
    EXPECT_FALSE(messages[0].text.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.korvel"}); // no leftovers

    // A folder that does not exist.
    messages.clear();
    EXPECT_FALSE(files().saveFile(dir.filePath("no/such/folder/x.korvel")));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Save as...");
}

TEST_F(VariableListFileTest, CommandLineFileLoadsAtStartAndOpenReloadsIt)
{
    const QString path = dir.filePath("Start.KORVEL");
    write(path, "2000003|33\r\n#EOR\r\n#EOVLI\r\n300\r\n#EOVLH\r\n#EOF\r\n");
    start({path});
    EXPECT_TRUE(window->variableListFile()->OpenFromCommandLine);
    EXPECT_EQ(store.holding(3), 33);
    EXPECT_EQ(list().label(false, 0), "300");
    EXPECT_TRUE(messages.empty());

    // "&Open..." takes the same file again, without a dialog.
    store.setHolding(3, 0);
    store.setHolding(4, 4);
    window->findChild<QAction*>("Open1")->trigger();
    EXPECT_EQ(store.holding(3), 33);
    EXPECT_EQ(store.holding(4), 0);
}

TEST_F(VariableListFileTest, CommandLineFileOfAnotherExtension)
{
    const QString path = dir.filePath("values.txt");
    write(path, "2000003|33\r\n");
    start({path});
    EXPECT_EQ(store.holding(3), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Invalid file extension: " + path);
    // The switch is not a file.
    messages.clear();
    window.reset();
    start({"/power_of_atom"});
    EXPECT_FALSE(window->variableListFile()->OpenFromCommandLine);
    EXPECT_TRUE(messages.empty());
}

} // namespace
} // namespace korvel
