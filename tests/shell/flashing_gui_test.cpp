// Window flashing among instances, tick by tick: instance detection on one shared atom folder
// (two start-ups in one process), the client window's flash tick with a foreground window the
// test sets, and the set-value dialog's request. The test's platform counts the flash calls.
#include "client/client_window_fixture.h"
#include "client/write_mask_window.h"
#include "instances/atom_registry.h"
#include "shell/port_control.h"
#include "ui/flash_platform.h"
#include "view/register_list_view.h"
#include "view/set_value_dialog.h"

#include <QAction>
#include <QSignalSpy>
#include <QTimer>
#include <vector>

namespace korvel::testing {
namespace {

class TestPlatform : public FlashPlatform {
  public:
    QWidget* foreground() const override { return front; }
    void flash(QWidget* window) override { flashed.push_back(window); }
    QWidget* front = nullptr;
    std::vector<QWidget*> flashed;
};

class FlashingTest : public ClientWindowTest {
  protected:
    void SetUp() override
    {
        ClientWindowTest::SetUp();
        form->Flashtmr->stop(); // the test runs the detection ticks itself
        QObject::connect(form.get(), &TChatForm::instancesDetected, client.get(), &TfrmClient::setFlashTimerEnabled);
        SetFlashPlatform(&platform);
    }
    void TearDown() override
    {
        SetFlashPlatform(nullptr);
        ClientWindowTest::TearDown();
    }
    // A second instance's main window on the same atom folder.
    std::unique_ptr<TChatForm> otherInstance()
    {
        otherStore = std::make_unique<RegisterStore>();
        otherEngine = std::make_unique<ServerEngine>(*otherStore);
        qputenv("KORVEL_PORT", QByteArray::number(FreeLoopbackPort()));
        auto other = std::make_unique<TChatForm>(*otherStore, *otherEngine, QStringList{});
        qputenv("KORVEL_PORT", QByteArray::number(env.port));
        other->Flashtmr->stop();
        return other;
    }

    struct Tick {
        QWidget* front;
        std::vector<QWidget*> flashes; // in call order
    };
    void runTicks(const std::vector<Tick>& ticks)
    {
        for (size_t i = 0; i < ticks.size(); ++i) {
            SCOPED_TRACE("tick " + std::to_string(i));
            platform.front = ticks[i].front;
            platform.flashed.clear();
            client->flashing().Timer4Timer();
            EXPECT_EQ(platform.flashed, ticks[i].flashes);
        }
    }

    TestPlatform platform;
    std::unique_ptr<RegisterStore> otherStore;
    std::unique_ptr<ServerEngine> otherEngine;
};

TEST_F(FlashingTest, InstancesFindEachOtherOnTheAtomFolder)
{
    std::unique_ptr<TChatForm> first = otherInstance();
    QSignalSpy firstSeen(first.get(), &TChatForm::instancesDetected);
    QSignalSpy seen(form.get(), &TChatForm::instancesDetected);

    first->FlashtmrTimer(); // the first instance alone: primary, no flashing
    EXPECT_EQ(firstSeen.takeFirst().at(0).toBool(), false);
    EXPECT_TRUE(first->portControl().ownsPrimaryFlashAtom);

    form->FlashtmrTimer(); // a second instance arrives: secondary, its flash tick starts
    EXPECT_EQ(seen.takeFirst().at(0).toBool(), true);
    EXPECT_TRUE(form->portControl().ownsSecondaryFlashAtom);
    EXPECT_FALSE(form->portControl().ownsPrimaryFlashAtom);
    EXPECT_TRUE(client->flashing().Timer4()->isActive());
    EXPECT_EQ(client->flashing().Timer4()->interval(), kTimer4Interval);

    first->FlashtmrTimer(); // the first one notices at its next tick
    EXPECT_EQ(firstSeen.takeFirst().at(0).toBool(), true);

    first.reset(); // the first instance ends and releases the primary name
    form->viewOptions().flash_main_window = true;
    form->FlashtmrTimer(); // the second becomes primary, withdraws the secondary name: alone
    EXPECT_EQ(seen.takeFirst().at(0).toBool(), false);
    EXPECT_TRUE(form->portControl().ownsPrimaryFlashAtom);
    EXPECT_FALSE(form->portControl().ownsSecondaryFlashAtom);
    EXPECT_FALSE(form->atoms().find(kSecondaryFlashAtomName));
    EXPECT_FALSE(client->flashing().Timer4()->isActive());
    EXPECT_FALSE(form->viewOptions().flash_main_window);
}

TEST_F(FlashingTest, SingleInstanceNeverFlashes)
{
    client->show();
    platform.front = client.get();
    form->FlashtmrTimer();
    EXPECT_FALSE(client->flashing().Timer4()->isActive());
    QTest::qWait(3 * kTimer4Interval);
    EXPECT_TRUE(platform.flashed.empty());
}

TEST_F(FlashingTest, ClientWindowComingToTheFrontBlinksTheMainWindowOnce)
{
    QWidget* main = form.get();
    QWidget* c = client.get();
    runTicks({
        {nullptr, {}}, // another program in front: armed
        {c, {}},       // the client comes to the front
        {c, {main}},   // two flashes on consecutive ticks: one blink
        {c, {main}},   //
        {c, {}},       // and no more while it stays
        {main, {}},    //
        {c, {}},       // activated again
        {c, {main}},   //
        {c, {main}},   //
    });
}

TEST_F(FlashingTest, OpeningAWindowIsSwallowedAndItsLaterActivationBlinksBoth)
{
    QWidget* main = form.get();
    QWidget* c = client.get();
    client->show();
    runTicks({{nullptr, {}}, {c, {}}}); // the client came to the front: armed
    client->Set1->trigger();
    TfrmWriteMask* w = client->findChildren<TfrmWriteMask*>().last();
    ASSERT_TRUE(client->flashing().dont_flash);
    runTicks({
        {w, {}}, // dont_flash: the opening causes no flash
        {w, {}},
        {w, {}},
        {c, {}},        // back to the client: armed again
        {w, {}},        // the child comes to the front ...
        {w, {}},        // ... and stays a tick: armed
        {w, {c, main}}, // then the client and the main window blink
        {w, {c, main}},
        {w, {}},
    });
    EXPECT_FALSE(client->flashing().dont_flash);
}

TEST_F(FlashingTest, LeavingTheServerConnectionDialogDoesNotFlash)
{
    QWidget* c = client.get();
    client->show();
    QTest::mouseClick(client->btnConn, Qt::LeftButton);
    QWidget* dialog = client->serverDialog();
    ASSERT_NE(dialog, nullptr);
    runTicks({{nullptr, {}}, {dialog, {}}, {c, {}}, {c, {}}, {c, {}}});
}

TEST_F(FlashingTest, SetValueDialogActivationAsksForOneBlink)
{
    QWidget* main = form.get();
    TfrmSetVal* dialog = CreateSetVal(form.get(), form->viewOptions(), *store, form->registerList());
    ViewOptions& options = form->viewOptions();
    platform.front = dialog;
    dialog->Timer2Timer();
    EXPECT_TRUE(options.flash_main_window);
    EXPECT_EQ(options.flash_main_window_handle, WindowIdOf(dialog));
    runTicks({{dialog, {main}}, {dialog, {main}}, {dialog, {}}});
    EXPECT_FALSE(options.flash_main_window);

    dialog->Timer2Timer(); // still in front: no second request
    EXPECT_FALSE(options.flash_main_window);
    platform.front = nullptr; // another window in front, then the dialog again
    dialog->Timer2Timer();
    platform.front = dialog;
    dialog->Timer2Timer();
    EXPECT_TRUE(options.flash_main_window);
    dialog->BtnCloseClick();
}

} // namespace
} // namespace korvel::testing
