// Two korvel programs on one atom folder find each other through the flash names: the first
// becomes primary, the second holds the secondary name while both run, and takes over as primary
// when the first ends.
#include "e2e/korvel_process.h"
#include "instances/atom_registry.h"
#include "rules/flash_rules.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace korvel::testing {
namespace {

// Reference count of `name` in the registry, 0 when it is missing.
int References(const AtomRegistry& atoms, const char* name)
{
    const auto names = atoms.names();
    const auto it = names.find(QString::fromLatin1(name));
    return it == names.end() ? 0 : it->second;
}

TEST(FlashAtomsTest, SecondProgramHoldsTheSecondaryNameUntilTheFirstEnds)
{
    QTemporaryDir folder;
    const AtomRegistry atoms(folder.path());
    auto first = std::make_unique<KorvelProcess>(folder.path());
    ASSERT_TRUE(first->start());
    constexpr int kTwoTicks = 2 * kFlashtmrInterval + 1000;
    ASSERT_TRUE(WaitUntil([&] { return References(atoms, kPrimaryFlashAtomName) == 1; }, kTwoTicks));
    EXPECT_EQ(References(atoms, kSecondaryFlashAtomName), 0) << "alone, the first holds no secondary name";

    const uint16_t base = first->basePort();
    KorvelProcess second(folder.path(), base);
    ASSERT_TRUE(second.start(static_cast<uint16_t>(base + 1)));
    ASSERT_TRUE(WaitUntil([&] { return References(atoms, kSecondaryFlashAtomName) == 1; }, kTwoTicks));
    EXPECT_EQ(References(atoms, kPrimaryFlashAtomName), 1);

    first->stop();
    first.reset();
    EXPECT_TRUE(WaitUntil(
        [&] {
            return References(atoms, kPrimaryFlashAtomName) == 1 && References(atoms, kSecondaryFlashAtomName) == 0;
        },
        kTwoTicks))
        << "the second became primary and withdrew the secondary name";

    second.stop();
    EXPECT_EQ(References(atoms, kPrimaryFlashAtomName), 0);
}

} // namespace
} // namespace korvel::testing
