// The registry of reference-counted names that instances share.
#include "shell/atom_registry.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>
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

} // namespace
} // namespace korvel
