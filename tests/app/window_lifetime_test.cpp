// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up failures and the end of the program, each in a process of its own.
#include <cstdlib>

#include "app/main_window.h"
#include "channels/channel_list_model.h"
#include "engine/engine.h"
#include "playback/engine_startup.h"
#include "support/stream_server.h"
#include "support/test_audio.h"
#include "support/window_harness.h"
#include "support/window_parts.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

class WindowLifetime : public ::testing::Test {
  protected:
    void SetUp() override { ::testing::FLAGS_gtest_death_test_style = "threadsafe"; }
};

// The version rule and the engine error text: code on the second line.
TEST(EngineStartup, VersionRuleAndErrorText) {
    EXPECT_TRUE(EngineVersionAccepted(0x02040001));
    EXPECT_TRUE(EngineVersionAccepted(0x0204FFFF));
    EXPECT_FALSE(EngineVersionAccepted(0x02030000));
    EXPECT_FALSE(EngineVersionAccepted(0x02050000));
    EXPECT_FALSE(EngineVersionAccepted(0x00000204));
    EXPECT_EQ(EngineErrorText("Can't initialize Sound Card", 3),
              "Can't initialize Sound Card\r\n(error code: 3)");
}

// Without a usable sound device the window reports the failure with its code and never starts.
TEST_F(WindowLifetime, NoSoundDeviceEndsStartup) {
    EXPECT_EXIT(
        {
            setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
            test::EnsureApp();
            test::AnsweringDialogs answers;
            SetDialogs(&answers);
            auto* form = new MainWindow;
            const bool ok =
                !form->StartedUp() && answers.messages.size() == 1 &&
                answers.messages[0].startsWith("Can't initialize Sound Card\r\n(error code: ") &&
                !answers.messages[0].endsWith("(error code: 0)") &&
                test::StationLabel(form)->text() == "Can't initialize Sound Card";
            delete form;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Closing the window while a report of the opening waits for it, and while a station plays,
// neither hangs nor crashes, and the process ends normally.
TEST_F(WindowLifetime, ClosingWhileOpeningOrPlayingEndsCleanly) {
    EXPECT_EXIT(
        {
            test::EnsureApp();
            test::AnsweringDialogs answers;
            SetDialogs(&answers);
            test::StreamServer server;
            test::SineSpec spec;
            test::StreamRoute route;
            route.audio = test::EncodeSine(spec);
            route.loop = true;
            route.bytes_per_second = 32000;
            route.burst_bytes = 64000;
            server.AddStream("/live", route);

            const auto play = [&](MainWindow* form) {
                form->Channels()->ReplaceAll(
                    {{"Loopback", QString::fromStdString(server.Url("/live")), {}, {}}});
                QListView* list = test::ChannelList(form);
                test::ClickAt(list->viewport(),
                              list->visualRect(list->model()->index(0, 0)).center());
            };

            test::SettingsHome home;
            // The worker blocks on its first report; the window goes before answering it.
            auto* form = new MainWindow;
            form->show();
            play(form);
            form->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

            form = new MainWindow;
            form->show();
            play(form);
            const bool played = test::WaitFor(
                [&] { return engine::ChannelIsActive(form->CurrentStream()) == 1; }, 10s);
            form->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            // Every stream was let go: the server finds each connection dropped.
            const bool released = test::WaitFor(
                [&] {
                    for (const auto& c : server.Connections()) {
                        if (!c.finished) return false;
                    }
                    return true;
                },
                10s);
            std::exit(played && released ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace velmora
