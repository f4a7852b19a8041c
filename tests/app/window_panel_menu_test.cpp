// SPDX-License-Identifier: GPL-3.0-or-later
// The user panel, its list operations and the analyser, wired into the real window.
#include <QFile>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "channels/channel_editor.h"
#include "support/stream_server.h"
#include "support/window_fixture.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using namespace test;

class WindowPanelMenuTest : public WindowTest {
  protected:
    // A looping loopback stream of a sine in FFT band `band`.
    static StreamRoute SineRoute(int band) {
        SineSpec spec;
        spec.frequency = BinFrequency(band);
        StreamRoute route;
        route.audio = EncodeSine(spec);
        route.loop = true;
        route.bytes_per_second = 32000;
        route.burst_bytes = 64000;
        return route;
    }
};

// Closing the panel narrows the window to 407, swaps the buttons, moves the clock and clears the
// selection; opening widens it to 570 and moves the clock back.
TEST_F(WindowPanelMenuTest, PanelOpensAndClosesWithWidthsAndClock) {
    Channels()->ReplaceAll({{"A", "http://127.0.0.1:1/a", {}, {}}, ChannelEntry::Separator()});
    ClickChannel(1);  // a separator: selected, nothing played
    ASSERT_EQ(Channels()->SelectedRow(), 1);
    EXPECT_FALSE(EditButton(window_)->isEnabled());

    Click(ClosePanelButton(window_));
    EXPECT_EQ(window_->width(), 407);
    EXPECT_TRUE(OpenPanelButton(window_)->isVisible());
    EXPECT_FALSE(ClosePanelButton(window_)->isVisible());
    EXPECT_EQ(RightEdge(DateLabel(window_)), 398);
    EXPECT_EQ(RightEdge(TimeLabel(window_)), 398);
    EXPECT_FALSE(ChannelList(window_)->currentIndex().isValid());
    EXPECT_EQ(Channels()->SelectedRow(), -1);

    Click(OpenPanelButton(window_));
    EXPECT_EQ(window_->width(), 570);
    EXPECT_FALSE(OpenPanelButton(window_)->isVisible());
    EXPECT_TRUE(ClosePanelButton(window_)->isVisible());
    EXPECT_EQ(RightEdge(DateLabel(window_)), 561);
    EXPECT_EQ(RightEdge(TimeLabel(window_)), 561);
    EXPECT_TRUE(answers_.errors.isEmpty());
}

// Deleting an entry other than the one playing still stops playback and resets the display; a
// separator click on the way leaves the stream playing.
TEST_F(WindowPanelMenuTest, DeleteStopsPlaybackAndShowsNotPlaying) {
    StreamServer server;
    server.AddStream("/live", SineRoute(5));
    Channels()->ReplaceAll({{"Live", QString::fromStdString(server.Url("/live")),
                             "https://live.example/", "https://live.example/plan"},
                            ChannelEntry::Separator(),
                            {"Other", "http://127.0.0.1:1/other", {}, {}}});
    ClickChannel(0);
    ASSERT_TRUE(WaitFor([&] { return Playing(); }, 10s));
    ASSERT_TRUE(WaitFor([&] { return !RateLabel(window_)->text().isEmpty(); }, 5s));
    EXPECT_TRUE(HomepageButton(window_)->isVisible());

    ClickChannel(1);
    // The stream goes on: more audio arrives and the window still plays it.
    ASSERT_TRUE(WaitForMoreAudio(server, "/live", 16000));
    EXPECT_TRUE(Playing());
    EXPECT_FALSE(EditButton(window_)->isEnabled());

    // No answers No: nothing changes.
    Click(DeleteButton(window_));
    EXPECT_EQ(answers_.questions, QStringList{"Sure delete?"});
    EXPECT_EQ(Channels()->Count(), 3);
    EXPECT_TRUE(Playing());

    answers_.answer_yes = true;
    const unsigned stream = window_->CurrentStream();
    Click(DeleteButton(window_));
    EXPECT_EQ(Channels()->Count(), 2);
    EXPECT_EQ(Channels()->Entry(1).name, "Other");
    EXPECT_EQ(Channels()->SelectedRow(), -1);
    EXPECT_NE(engine::ChannelIsActive(stream), static_cast<int>(engine::ActiveState::Playing));
    EXPECT_FALSE(Playing());
    EXPECT_EQ(StationLabel(window_)->text(), "Not playing");
    EXPECT_TRUE(TitleLabel(window_)->text().isEmpty());
    EXPECT_TRUE(RateLabel(window_)->text().isEmpty());
    EXPECT_FALSE(HomepageButton(window_)->isVisible());
    EXPECT_FALSE(ProgramsButton(window_)->isVisible());
    EXPECT_FALSE(ReplayTimer(window_)->isActive());
}

// The list buttons reach the editor and the list operations: add at the bottom, move the new
// entry up, export through the menu with the suggested name, import it back on top.
TEST_F(WindowPanelMenuTest, EditorMoveExportAndImportFromTheWindow) {
    Channels()->ReplaceAll({{"A", "http://127.0.0.1:1/a", {}, {}}});
    auto* editor = window_->findChild<ChannelEditor*>();
    ASSERT_NE(editor, nullptr);
    QTimer::singleShot(0, editor, [&] {
        editor->NameField()->setText("B");
        editor->PlaylistField()->setText("http://127.0.0.1:1/b");
        Click(editor->OkAddButton());
    });
    Click(AddButton(window_));
    ASSERT_EQ(Channels()->Count(), 2);
    EXPECT_EQ(Channels()->Entry(1).name, "B");

    Channels()->SetSelectedRow(1);
    Click(MoveUpButton(window_));
    EXPECT_EQ(Channels()->Entry(0).name, "B");
    EXPECT_EQ(Channels()->SelectedRow(), 0);

    const QString exported = home_.Root() + "/exported";
    answers_.save_file = exported;
    ExportItem(window_)->trigger();
    EXPECT_EQ(answers_.suggested_names, QStringList{"Channel-List.vlr"});
    const ChannelFileReadResult written = ReadChannelFile(exported + ".vlr");
    ASSERT_FALSE(written.error);
    EXPECT_EQ(written.entries, Channels()->Entries());

    answers_.open_file = exported + ".vlr";
    answers_.answer_yes = true;  // keep the existing list
    ImportItem(window_)->trigger();
    EXPECT_EQ(answers_.questions, QStringList{"Retain existing Channel-List?"});
    // The imported entries come first; the retained selection moves down with its entry.
    EXPECT_EQ(Channels()->Count(), 4);
    EXPECT_EQ(Channels()->SelectedRow(), 2);
    EXPECT_EQ(Channels()->Entry(2).name, "B");
}

// While a stream plays the analyser hides its placeholder and draws bars in the desktop's colours;
// after Stop it keeps showing the last frame.
TEST_F(WindowPanelMenuTest, AnalyserDrawsWhilePlayingAndKeepsTheLastFrame) {
    auto* placeholder = AnalyserPlaceholder(window_);
    QWidget* box = Analyser(window_);
    EXPECT_TRUE(placeholder->isVisible());
    StreamServer server;
    server.AddStream("/live", SineRoute(5));
    Channels()->ReplaceAll({{"Live", QString::fromStdString(server.Url("/live")), {}, {}}});
    ClickChannel(0);
    ASSERT_TRUE(WaitFor([&] { return Playing(); }, 10s));
    ASSERT_TRUE(WaitFor([&] { return !placeholder->isVisible(); }, 2s));

    const QColor bar = window_->palette().color(QPalette::Highlight);
    const QColor face = window_->palette().color(QPalette::Button);
    // Band 5 is the bar at columns 30..34; bars stand on the bottom row, which stays uncovered.
    const auto bar_height = [&](const QImage& frame) {
        int rows = 0;
        for (int y = 0; y < frame.height(); ++y) rows += QColor(frame.pixel(32, y)) == bar;
        return rows;
    };
    QImage frame;
    ASSERT_TRUE(WaitFor(
        [&] {
            frame = box->grab().toImage();
            return bar_height(frame) > 20;
        },
        5s));
    EXPECT_EQ(QColor(frame.pixel(32, frame.height() - 1)), face);
    EXPECT_EQ(QColor(frame.pixel(35, frame.height() - 2)), face);  // the gap between bars

    Click(StopButton(window_));
    EXPECT_FALSE(AnalyserTimer(window_)->isActive());
    QCoreApplication::sendPostedEvents();
    const QImage last = box->grab().toImage();
    box->repaint();
    EXPECT_EQ(box->grab().toImage(), last);
    EXPECT_GT(bar_height(last), 0);
    // The window's own surface, where the frames' changed rows were copied, shows that frame too.
    const QPoint at = box->mapTo(window_, QPoint(0, 0));
    const QImage surface =
        window_->screen()
            ->grabWindow(window_->winId(), at.x(), at.y(), box->width(), box->height())
            .toImage();
    EXPECT_EQ(surface.convertToFormat(QImage::Format_RGB32),
              last.convertToFormat(QImage::Format_RGB32));
}

}  // namespace
}  // namespace velmora
