// SPDX-License-Identifier: GPL-3.0-or-later
// The one fixture of the tests that drive the program window: the main window with its editor and
// about box, in a home folder of its own (settings, channel list and documents are the test's),
// with every box answered by the test and the catalogue language back at English. The window is
// closed the user's way at the end, which writes the settings.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <chrono>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/program_windows.h"
#include "channels/channel_list_model.h"
#include "desktop/file_writer.h"
#include "engine/engine.h"
#include "i18n/language.h"
#include "support/stream_server.h"
#include "support/test_audio.h"
#include "support/window_harness.h"
#include "support/window_parts.h"

namespace velmora::test {

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        EnsureApp();
        SetDialogs(&answers_);
        // The catalogue language is process-wide: a language applied by an earlier test is undone.
        SelectCatalogueLanguage(QString());
        if (open_at_start_) OpenWindow();
    }
    void TearDown() override {
        SetFileWriterCalls(nullptr);
        if (window_) CloseWindow();
        SetDialogs(nullptr);
    }

    void OpenWindow() {
        window_ = CreateProgramWindows();
        ASSERT_NE(window_, nullptr);
        window_->show();
        title_ = TitleLabel(window_);
        station_ = StationLabel(window_);
        rate_ = RateLabel(window_);
    }
    // Closes as the user does; true when the window went (and has been freed).
    bool CloseWindow() {
        const bool closed = CloseAndFlush(window_);
        if (closed) window_ = nullptr;
        return closed;
    }

    // Waits until the window, closed by something other than the test (a menu, the bus), has been
    // deleted; true when it has. `form` is taken before the closing, which may delete the window
    // before this is called.
    bool WaitUntilWindowGone(const QPointer<MainWindow>& form) {
        const bool gone = WaitFor(
            [&] {
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                return form.isNull();
            },
            std::chrono::seconds(3));
        if (gone) window_ = nullptr;
        return gone;
    }

    ChannelListModel* Channels() const { return window_->Channels(); }
    // Clicks row `row` of the user's list, as the user chooses a channel.
    void ClickChannel(int row) {
        ChannelListView* list = ChannelList(window_);
        ClickAt(list->viewport(), list->visualRect(list->model()->index(row, 0)).center());
    }
    // Puts the channels into the user's list and clicks row `row`, which plays its address.
    void ChooseUserChannel(const std::vector<ChannelEntry>& entries, int row = 0) {
        Channels()->ReplaceAll(entries);
        ClickChannel(row);
    }
    void PlayUserChannel(const std::string& url, const QString& name = "Loopback") {
        ChooseUserChannel({{name, QString::fromStdString(url), {}, {}}});
    }

    bool Playing() const {
        return engine::ChannelIsActive(window_->CurrentStream()) ==
               static_cast<int>(engine::ActiveState::Playing);
    }
    // The record button blinks while a recording is on.
    bool Recording() const { return BlinkTimer(window_)->isActive(); }
    static std::string Mp3(double seconds) {
        SineSpec spec;
        spec.seconds = seconds;
        return EncodeSine(spec);
    }
    // A station that names itself "Loopback FM" and sends one title, at 256 kbps after a burst.
    static StreamRoute NamedStation(double seconds = 10.0, bool loop = true) {
        StreamRoute route;
        route.audio = Mp3(seconds);
        route.loop = loop;
        route.metaint = 4096;
        route.headers = {"icy-name:Loopback FM"};
        route.titles = {{0, "Loopback Band - First Song"}};
        route.burst_bytes = 32768;
        route.bytes_per_second = 32000;
        return route;
    }
    QString Documents() const { return home_.Documents(); }

    // Lets the stream at `path` go on until the server has sent `bytes` more audio: time passing
    // with the stream alive, for checks that something did not happen meanwhile.
    static bool WaitForMoreAudio(const StreamServer& server, const std::string& path,
                                 std::size_t bytes) {
        const auto sent = [&] {
            std::size_t total = 0;
            for (const ConnectionRecord& c : server.ConnectionsTo(path)) {
                total += c.sent_audio.size();
            }
            return total;
        };
        const std::size_t from = sent();
        return WaitFor([&] { return sent() >= from + bytes; }, std::chrono::seconds(5));
    }

    bool open_at_start_ = true;  // cleared by tests that write files before the window opens
    SettingsHome home_;
    AnsweringDialogs answers_;
    MainWindow* window_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* station_ = nullptr;
    QLabel* rate_ = nullptr;
};

}  // namespace velmora::test
