// SPDX-License-Identifier: GPL-3.0-or-later
// The user panel, the settings menu, the about box and the analyser, wired into the real window.
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "app/about_box.h"
#include "app/main_window.h"
#include "app/program_windows.h"
#include "app/window_harness.h"
#include "channels/channel_editor.h"
#include "channels/channel_file.h"
#include "channels/channel_list_model.h"
#include "engine/engine.h"
#include "support/stream_server.h"
#include "support/test_audio.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::Click;
using test::WaitFor;

class WindowPanelMenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::EnsureApp();
        SetDialogs(&answers_);
        form_ = CreateProgramWindows();
        ASSERT_NE(form_, nullptr);
        form_->show();
        list_ = form_->Channels()->View();
    }
    void TearDown() override {
        if (form_) test::CloseAndFlush(form_);
        SetDialogs(nullptr);
    }

    template <class T>
    T* Child(const char* name) {
        return test::FindChild<T>(form_, name);
    }
    QAction* Item(const char* name) { return Child<QAction>(name); }
    int RightEdge(const char* label) { return test::RightEdge(Child<QLabel>(label)); }
    void ClickRow(int row) {
        test::ClickAt(list_->viewport(), list_->visualItemRect(list_->item(row)).center());
    }
    bool Playing() const {
        return vle::ChannelIsActive(form_->CurrentStream()) ==
               static_cast<int>(vle::ActiveState::Playing);
    }
    // A looping loopback stream of a sine in FFT band `band`.
    static test::StreamRoute SineRoute(int band) {
        test::SineSpec spec;
        spec.frequency = test::BinFrequency(band);
        test::StreamRoute route;
        route.audio = test::EncodeSine(spec);
        route.loop = true;
        route.bytes_per_second = 32000;
        route.burst_bytes = 64000;
        return route;
    }

    test::SettingsHome home_;
    test::AnsweringDialogs answers_;
    MainWindow* form_ = nullptr;
    QListWidget* list_ = nullptr;
};

// Closing the panel narrows the window to 407, swaps the buttons, moves the clock and clears the
// selection in all four lists; opening widens it to 570 and moves the clock back.
TEST_F(WindowPanelMenuTest, PanelOpensAndClosesWithWidthsAndClock) {
    form_->Channels()->ReplaceAll(
        {{"A", "http://127.0.0.1:1/a", {}, {}}, ChannelEntry::Separator()});
    ClickRow(1);  // a separator: selected, nothing played
    ASSERT_EQ(form_->Channels()->SelectedRow(), 1);
    EXPECT_FALSE(Child<QWidget>("Image15")->isEnabled());

    Click(Child<QWidget>("Image11"));
    EXPECT_EQ(form_->width(), 407);
    EXPECT_TRUE(Child<QWidget>("Image10")->isVisible());
    EXPECT_FALSE(Child<QWidget>("Image11")->isVisible());
    EXPECT_EQ(RightEdge("Label10"), 398);
    EXPECT_EQ(RightEdge("Label11"), 398);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(form_->Channels()->ListBox(i)->currentRow(), -1) << i;
    EXPECT_EQ(form_->Channels()->SelectedRow(), -1);

    Click(Child<QWidget>("Image10"));
    EXPECT_EQ(form_->width(), 570);
    EXPECT_FALSE(Child<QWidget>("Image10")->isVisible());
    EXPECT_TRUE(Child<QWidget>("Image11")->isVisible());
    EXPECT_EQ(RightEdge("Label10"), 561);
    EXPECT_EQ(RightEdge("Label11"), 561);
    EXPECT_TRUE(answers_.errors.isEmpty());
}

// Deleting an entry other than the one playing still stops playback and resets the display; a
// separator click on the way leaves the stream playing.
TEST_F(WindowPanelMenuTest, DeleteStopsPlaybackAndShowsNotPlaying) {
    test::StreamServer server;
    server.AddStream("/live", SineRoute(5));
    form_->Channels()->ReplaceAll({{"Live", QString::fromStdString(server.Url("/live")),
                                    "https://live.example/", "https://live.example/plan"},
                                   ChannelEntry::Separator(),
                                   {"Other", "http://127.0.0.1:1/other", {}, {}}});
    ClickRow(0);
    ASSERT_TRUE(WaitFor([&] { return Playing(); }, 10s));
    ASSERT_TRUE(WaitFor([&] { return !Child<QLabel>("Label5")->text().isEmpty(); }, 5s));
    EXPECT_TRUE(Child<QWidget>("Image7")->isVisible());

    ClickRow(1);
    test::Pump(100ms);
    EXPECT_TRUE(Playing());
    EXPECT_FALSE(Child<QWidget>("Image15")->isEnabled());

    // No answers No: nothing changes.
    Click(Child<QWidget>("Image13"));
    EXPECT_EQ(answers_.questions, QStringList{"Sure delete?"});
    EXPECT_EQ(form_->Channels()->Count(), 3);
    EXPECT_TRUE(Playing());

    answers_.answer_yes = true;
    const unsigned stream = form_->CurrentStream();
    Click(Child<QWidget>("Image13"));
    EXPECT_EQ(form_->Channels()->Count(), 2);
    EXPECT_EQ(form_->Channels()->Entry(1).name, "Other");
    EXPECT_EQ(form_->Channels()->SelectedRow(), -1);
    EXPECT_NE(vle::ChannelIsActive(stream), static_cast<int>(vle::ActiveState::Playing));
    EXPECT_FALSE(Playing());
    EXPECT_EQ(Child<QLabel>("Label4")->text(), "Not playing");
    EXPECT_TRUE(Child<QLabel>("Label3")->text().isEmpty());
    EXPECT_TRUE(Child<QLabel>("Label5")->text().isEmpty());
    EXPECT_FALSE(Child<QWidget>("Image7")->isVisible());
    EXPECT_FALSE(Child<QWidget>("Image9")->isVisible());
    EXPECT_FALSE(Child<QTimer>("Timer2")->isActive());
}

// The menu opens 250, 170 from the window's outer corner with every item enabled; date and time
// switch their labels.
TEST_F(WindowPanelMenuTest, MenuOpensInPlaceWithItsStates) {
    auto* menu = Child<QMenu>("PopupMenu1");
    Click(Child<QWidget>("Image2"));
    ASSERT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->pos(), form_->frameGeometry().topLeft() + QPoint(250, 170));
    menu->close();

    for (const char* enabled :
         {"Background1", "ShowDate1", "ShowTime1", "ChannelListExport1", "ChannelListImport1",
          "Checkfornewversion1", "SelectLanguage1", "Website1", "About1", "Close1"}) {
        EXPECT_TRUE(Item(enabled)->isEnabled()) << enabled;
    }

    Item("ShowDate1")->trigger();
    EXPECT_FALSE(Child<QLabel>("Label10")->isVisible());
    EXPECT_TRUE(Child<QLabel>("Label11")->isVisible());
    Item("ShowDate1")->trigger();
    EXPECT_TRUE(Child<QLabel>("Label10")->isVisible());
    EXPECT_FALSE(Child<QLabel>("Label10")->text().isEmpty());

    // "Close" goes through the normal close, which writes the settings.
    Item("Close1")->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    form_ = nullptr;
    EXPECT_TRUE(QFile::exists(home_.SettingsFile()));
    EXPECT_TRUE(QFile::exists(home_.ChannelListFile()));
}

// A chosen background goes into the header with its item marked and disabled; the about box then
// carries that header.
TEST_F(WindowPanelMenuTest, BackgroundsAndAboutBoxHeader) {
    const auto picture = [&](const char* name) { return Child<QLabel>(name)->pixmap().toImage(); };
    EXPECT_EQ(picture("Image3"), picture("Image23"));  // Blue
    Item("Red1")->trigger();
    EXPECT_EQ(picture("Image3"), picture("Image24"));
    EXPECT_TRUE(Item("Red1")->isChecked());
    EXPECT_FALSE(Item("Red1")->isEnabled());
    for (const char* other : {"Blue1", "Vista1", "Black1", "Win71"}) {
        EXPECT_FALSE(Item(other)->isChecked()) << other;
        EXPECT_TRUE(Item(other)->isEnabled()) << other;
    }
    Item("Black1")->trigger();
    EXPECT_EQ(picture("Image3"), picture("Image25"));
    EXPECT_TRUE(Item("Red1")->isEnabled());

    auto* about = form_->findChild<AboutBox*>();
    ASSERT_NE(about, nullptr);
    QImage shown;
    QTimer::singleShot(0, about, [&] {
        shown = about->Picture()->pixmap().toImage();
        Click(about);
    });
    Item("About1")->trigger();  // returns when the box is closed
    EXPECT_FALSE(about->isVisible());
    EXPECT_EQ(shown, picture("Image25"));
}

// The list buttons reach the editor and the list operations: add at the bottom, move the new
// entry up, export through the menu with the suggested name, import it back on top.
TEST_F(WindowPanelMenuTest, EditorMoveExportAndImportFromTheWindow) {
    form_->Channels()->ReplaceAll({{"A", "http://127.0.0.1:1/a", {}, {}}});
    auto* editor = form_->findChild<ChannelEditor*>();
    ASSERT_NE(editor, nullptr);
    QTimer::singleShot(0, editor, [&] {
        editor->NameField()->setText("B");
        editor->PlaylistField()->setText("http://127.0.0.1:1/b");
        Click(editor->OkAddButton());
    });
    Click(Child<QWidget>("Image12"));
    ASSERT_EQ(form_->Channels()->Count(), 2);
    EXPECT_EQ(form_->Channels()->Entry(1).name, "B");

    form_->Channels()->SetSelectedRow(1);
    Click(Child<QWidget>("Image16"));
    EXPECT_EQ(form_->Channels()->Entry(0).name, "B");
    EXPECT_EQ(form_->Channels()->SelectedRow(), 0);

    const QString exported = home_.Root() + "/exported";
    answers_.save_file = exported;
    Item("ChannelListExport1")->trigger();
    EXPECT_EQ(answers_.suggested_names, QStringList{"Channel-List.vlr"});
    const ChannelFileReadResult written = ReadChannelFile(exported + ".vlr");
    ASSERT_FALSE(written.error);
    EXPECT_EQ(written.entries, form_->Channels()->Entries());

    answers_.open_file = exported + ".vlr";
    answers_.answer_yes = true;  // keep the existing list
    Item("ChannelListImport1")->trigger();
    EXPECT_EQ(answers_.questions, QStringList{"Retain existing Channel-List?"});
    // The imported entries come first; the retained selection moves down with its entry.
    EXPECT_EQ(form_->Channels()->Count(), 4);
    EXPECT_EQ(form_->Channels()->SelectedRow(), 2);
    EXPECT_EQ(form_->Channels()->Entry(2).name, "B");
}

// While a stream plays the analyser hides its placeholder and draws bars in the desktop's colours;
// after Stop it keeps showing the last frame.
TEST_F(WindowPanelMenuTest, AnalyserDrawsWhilePlayingAndKeepsTheLastFrame) {
    auto* placeholder = Child<QLabel>("Label1");
    QWidget* box = Child<QWidget>("PaintBox1");
    EXPECT_TRUE(placeholder->isVisible());
    test::StreamServer server;
    server.AddStream("/live", SineRoute(5));
    form_->Channels()->ReplaceAll({{"Live", QString::fromStdString(server.Url("/live")), {}, {}}});
    ClickRow(0);
    ASSERT_TRUE(WaitFor([&] { return Playing(); }, 10s));
    ASSERT_TRUE(WaitFor([&] { return !placeholder->isVisible(); }, 2s));

    const QColor bar = form_->palette().color(QPalette::Highlight);
    const QColor face = form_->palette().color(QPalette::Button);
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

    Click(Child<QWidget>("Image4"));
    test::Pump(150ms);
    const QImage last = box->grab().toImage();
    test::Pump(200ms);
    EXPECT_EQ(box->grab().toImage(), last);
    EXPECT_GT(bar_height(last), 0);
    // The window's own surface, where the frames' changed rows were copied, shows that frame too.
    const QPoint at = box->mapTo(form_, QPoint(0, 0));
    const QImage surface =
        form_->screen()
            ->grabWindow(form_->winId(), at.x(), at.y(), box->width(), box->height())
            .toImage();
    EXPECT_EQ(surface.convertToFormat(QImage::Format_RGB32),
              last.convertToFormat(QImage::Format_RGB32));
}

}  // namespace
}  // namespace velmora
