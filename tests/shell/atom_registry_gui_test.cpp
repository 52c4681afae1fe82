// The registry of reference-counted names that instances share.
#include "instances/atom_registry.h"
#include "instances/port_reservation.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace korvel {
namespace {

TEST(AtomRegistryTest, NamesAreReferenceCounted)
{
    QTemporaryDir dir;
    AtomRegistry atoms(dir.path());
    EXPECT_FALSE(atoms.find("KORVEL_PORT_502"));
    EXPECT_FALSE(atoms.deleteOne("KORVEL_PORT_502"));
    ASSERT_TRUE(atoms.add("KORVEL_PORT_502"));
    ASSERT_TRUE(atoms.add("KORVEL_PORT_502"));
    EXPECT_TRUE(atoms.deleteOne("KORVEL_PORT_502"));
    EXPECT_TRUE(atoms.find("KORVEL_PORT_502"));
    EXPECT_TRUE(atoms.deleteOne("KORVEL_PORT_502"));
    EXPECT_FALSE(atoms.find("KORVEL_PORT_502"));
    EXPECT_FALSE(atoms.deleteOne("KORVEL_PORT_502"));
    EXPECT_FALSE(atoms.add(QString()));
}

TEST(AtomRegistryTest, SharedByEveryRegistryOnTheSameFolderAndOutlivesThem)
{
    QTemporaryDir dir;
    {
        AtomRegistry first(dir.path());
        first.add("PRIMARY_FLASH_ATOM");
    }
    AtomRegistry second(dir.path());
    EXPECT_TRUE(second.find("PRIMARY_FLASH_ATOM"));
    AtomRegistry third(dir.path());
    third.add("KORVEL_PORT_503");
    EXPECT_EQ(second.names(), (std::map<QString, int>{{"KORVEL_PORT_503", 1}, {"PRIMARY_FLASH_ATOM", 1}}));
}

TEST(AtomRegistryTest, ConcurrentChangesAreNeverLost)
{
    QTemporaryDir dir;
    constexpr int kThreads = 4;
    constexpr int kAdds = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&dir, t] {
            AtomRegistry atoms(dir.path()); // each with its own file handle, like an instance
            for (int i = 0; i < kAdds; ++i) {
                atoms.add("SHARED");
                atoms.add(QStringLiteral("OWN_%1").arg(t));
                atoms.deleteOne(QStringLiteral("OWN_%1").arg(t));
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    AtomRegistry atoms(dir.path());
    EXPECT_EQ(atoms.names(), (std::map<QString, int>{{"SHARED", kThreads * kAdds}}));
}

TEST(AtomRegistryTest, DamagedLinesAreIgnored)
{
    QTemporaryDir dir;
    AtomRegistry atoms(dir.path());
    QFile file(atoms.filePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("KORVEL_PORT_502\t2\ngarbage\n\t5\nKORVEL_PORT_503\tx\nKORVEL_PORT_504\t-1\n");
    file.close();
    EXPECT_EQ(atoms.names(), (std::map<QString, int>{{"KORVEL_PORT_502", 2}}));
    EXPECT_TRUE(atoms.deleteOne("KORVEL_PORT_502"));
    EXPECT_TRUE(atoms.find("KORVEL_PORT_502"));
}

TEST(AtomRegistryTest, FolderFromTheEnvironment)
{
    qputenv("KORVEL_ATOM_DIR", "/tmp/korvel-atoms-test");
    EXPECT_EQ(AtomRegistry::DefaultFolder(), QStringLiteral("/tmp/korvel-atoms-test"));
    qunsetenv("KORVEL_ATOM_DIR");
    qputenv("XDG_RUNTIME_DIR", "/nonexistent-runtime");
    EXPECT_TRUE(AtomRegistry::DefaultFolder().startsWith(QDir::tempPath()));
}

mode_t Mode(const QString& path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

QByteArray Content(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

TEST(AtomRegistryTest, OnlyAFolderOfThisUserThatNoOtherMayWriteIsUsedAndItsModeStays)
{
    QTemporaryDir dir;
    const QString open = dir.filePath("open");
    ASSERT_EQ(::mkdir(QFile::encodeName(open).constData(), 0700), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 01777), 0); // like /tmp
    AtomRegistry shared(open);
    EXPECT_EQ(shared.problem(), QStringLiteral("instance registry %1 not used: writable by other users").arg(open));
    EXPECT_FALSE(shared.add("KORVEL_PORT_502"));
    EXPECT_EQ(Mode(open), 01777u);
    EXPECT_FALSE(QFile::exists(open + "/atoms"));

    const QString readable = dir.filePath("readable");
    ASSERT_EQ(::mkdir(QFile::encodeName(readable).constData(), 0755), 0);
    AtomRegistry mine(readable);
    EXPECT_TRUE(mine.usable()) << mine.problem().toStdString();
    EXPECT_TRUE(mine.add("KORVEL_PORT_502"));
    EXPECT_EQ(Mode(readable), 0755u);

    const QString created = dir.filePath("new/korvel");
    AtomRegistry fresh(created);
    EXPECT_TRUE(fresh.usable());
    EXPECT_EQ(Mode(created), 0700u);

    ASSERT_TRUE(QFile::link(readable, dir.filePath("link")));
    EXPECT_EQ(AtomRegistry(dir.filePath("link")).problem(),
              QStringLiteral("instance registry %1 not used: a symbolic link").arg(dir.filePath("link")));
}

TEST(AtomRegistryTest, APlantedLinkIsNeverFollowed)
{
    QTemporaryDir dir;
    QFile target(dir.filePath("precious"));
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    target.write("keep me\n");
    target.close();
    const QString folder = dir.filePath("korvel");
    ASSERT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0700), 0);
    ASSERT_TRUE(QFile::link(target.fileName(), folder + "/atoms"));
    AtomRegistry atoms(folder);
    EXPECT_EQ(atoms.problem(), QStringLiteral("instance registry %1/atoms not used: a symbolic link").arg(folder));
    EXPECT_FALSE(atoms.add("KORVEL_PORT_502"));
    EXPECT_FALSE(atoms.find("KORVEL_PORT_502"));
    EXPECT_EQ(Content(target.fileName()), "keep me\n");
}

TEST(AtomRegistryTest, AFolderOfAnotherUserIsNotUsed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    QTemporaryDir dir;
    QFile target(dir.filePath("secret"));
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    target.write("root only\n");
    target.close();
    ASSERT_EQ(::chmod(QFile::encodeName(target.fileName()).constData(), 0600), 0);
    const QString folder = dir.filePath("korvel-0");
    ASSERT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0700), 0);
    ASSERT_TRUE(QFile::link(target.fileName(), folder + "/atoms"));
    ASSERT_EQ(::lchown(QFile::encodeName(folder + "/atoms").constData(), 65534, 65534), 0);
    ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
    AtomRegistry atoms(folder);
    EXPECT_EQ(atoms.problem(), QStringLiteral("instance registry %1 not used: owned by uid 65534").arg(folder));
    EXPECT_FALSE(atoms.add("KORVEL_PORT_502"));
    EXPECT_EQ(Content(target.fileName()), "root only\n");
    EXPECT_EQ(Mode(folder), 0700u);
}

TEST(AtomRegistryTest, AReferenceOfAProcessThatEndedCountsAsFree)
{
    QTemporaryDir dir;
    QProcess ended;
    ended.start("/bin/true");
    ASSERT_TRUE(ended.waitForStarted(10000));
    const qint64 endedPid = ended.processId();
    ASSERT_TRUE(ended.waitForFinished(10000));
    const AtomRegistry::Owner& self = AtomRegistry::Self();
    QFile file(dir.filePath("atoms"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // An ended process; this process's id with another start (the id given again); another boot;
    // a running owner; a reference of an older version, without an owner.
    file.write(QStringLiteral("KORVEL_PORT_502\t1\n\tKORVEL_PORT_502\t%1\t%2\t%3\n"
                              "KORVEL_PORT_503\t1\n\tKORVEL_PORT_503\t%4\t%5\t%3\n"
                              "KORVEL_PORT_504\t1\n\tKORVEL_PORT_504\t%4\t%2\tanother-boot\n"
                              "KORVEL_PORT_505\t1\n\tKORVEL_PORT_505\t%4\t%2\t%3\n"
                              "KORVEL_PORT_506\t1\n")
                   .arg(endedPid)
                   .arg(self.startTime)
                   .arg(QString::fromStdString(self.boot))
                   .arg(self.pid)
                   .arg(self.startTime + 1)
                   .toUtf8());
    file.close();
    AtomRegistry atoms(dir.path());
    EXPECT_FALSE(atoms.find("KORVEL_PORT_502"));
    EXPECT_EQ(atoms.names(), (std::map<QString, int>{{"KORVEL_PORT_505", 1}, {"KORVEL_PORT_506", 1}}));
    // Older versions read the counts and skip the owner lines.
    EXPECT_EQ(Content(dir.filePath("atoms")),
              QStringLiteral("KORVEL_PORT_505\t1\n\tKORVEL_PORT_505\t%1\t%2\t%3\nKORVEL_PORT_506\t1\n")
                  .arg(self.pid)
                  .arg(self.startTime)
                  .arg(QString::fromStdString(self.boot))
                  .toUtf8());
}

TEST(AtomRegistryTest, InstancesStartingTogetherNeverTakeTheSamePort)
{
    constexpr int kInstances = 6;
    for (int round = 0; round < 20; ++round) {
        QTemporaryDir dir;
        std::vector<int> ports(kInstances);
        std::vector<std::thread> threads;
        for (int t = 0; t < kInstances; ++t) {
            threads.emplace_back([&, t] {
                AtomRegistry atoms(dir.path());
                ports[static_cast<size_t>(t)] = ChooseAndReservePort(atoms, 20000).port;
            });
        }
        for (auto& thread : threads)
            thread.join();
        EXPECT_EQ(std::set<int>(ports.begin(), ports.end()).size(), size_t{kInstances}) << "round " << round;
    }
}

} // namespace
} // namespace korvel
