// SPDX-License-Identifier: GPL-3.0-or-later
// The stored choices through the real window: what a restart brings back, what the first close
// writes, how hand-edited values land in the controls, and a close that cannot write.
#include <sys/stat.h>

#include <cerrno>

#include <QDir>
#include <QFile>

#include "channels/channel_file.h"
#include "support/window_fixture.h"

namespace velmora {
namespace {

using namespace test;

// Each test writes its files before the window opens.
class WindowSettingsTest : public WindowTest {
  protected:
    WindowSettingsTest() { open_at_start_ = false; }
};

// Every choice made in one run is back after a restart: directory row, volume, proxy switch and
// address, closed panel, date and time switches, editor position, list and its scroll position,
// background, the update switch; the language read from the file is written back unchanged.
TEST_F(WindowSettingsTest, RestartRestoresEveryChoice) {
    WriteBytes(home_.SettingsFile(), "[Default]\nLanguage=German\n");
    OpenWindow();
    std::vector<ChannelEntry> entries;
    for (int i = 0; i < 40; ++i) {
        entries.push_back(
            {QString("Channel %1").arg(i), QString("http://127.0.0.1/%1").arg(i), {}, {}});
    }
    Channels()->ReplaceAll(entries);
    DirectoryCombo(window_)->setCurrentIndex(14);
    VolumeSlider(window_)->setValue(37);
    auto* direct = DirectConnectionBox(window_);
    ClickAt(direct, {6, direct->height() / 2});
    ASSERT_FALSE(direct->isChecked());
    ProxyField(window_)->setText("user:pw@127.0.0.1:3128");
    Channels()->SetTopRow(9);
    Click(ClosePanelButton(window_));  // close the panel
    ShowTimeItem(window_)->trigger();
    EditorTopChoice(window_)->click();  // the editor's "Top"
    BackgroundItem(window_, Background::Black)->trigger();
    AutoCheckOffItem(window_)->trigger();
    NotificationsItem(window_)->trigger();
    StayAwakeItem(window_)->trigger();
    ASSERT_TRUE(CloseWindow());
    EXPECT_TRUE(answers_.errors.isEmpty()) << answers_.errors.join(" | ").toStdString();

    EXPECT_EQ(ReadBytes(home_.SettingsFile()),
              "[Default]\nLanguage=German\nChannel=14\nVolume=37\nProxy=0\n"
              "ProxyIP=user:pw@127.0.0.1:3128\nForm=407\nShowDate=1\nShowTime=0\n"
              "ItemPositionTop=1\nItemPositionBelow=0\nChannelposition=9\nBackground=Black\n"
              "Autocheckoff=1\nNotifications=0\nStayAwake=0\n");

    OpenWindow();
    EXPECT_EQ(Channels()->Entries(), entries);
    EXPECT_EQ(DirectoryCombo(window_)->currentIndex(), 14);
    EXPECT_EQ(VolumeSlider(window_)->value(), 37);
    EXPECT_FALSE(DirectConnectionBox(window_)->isChecked());
    EXPECT_TRUE(ProxyField(window_)->isEnabled());
    EXPECT_EQ(ProxyField(window_)->text(), "user:pw@127.0.0.1:3128");
    EXPECT_EQ(window_->width(), 407);
    EXPECT_TRUE(OpenPanelButton(window_)->isVisible());
    EXPECT_FALSE(ClosePanelButton(window_)->isVisible());
    EXPECT_EQ(RightEdge(DateLabel(window_)), 398);
    EXPECT_EQ(RightEdge(TimeLabel(window_)), 398);
    EXPECT_TRUE(ShowDateItem(window_)->isChecked());
    EXPECT_FALSE(ShowTimeItem(window_)->isChecked());
    EXPECT_TRUE(DateLabel(window_)->isVisible());
    EXPECT_FALSE(TimeLabel(window_)->isVisible());
    EXPECT_TRUE(EditorTopChoice(window_)->isChecked());
    EXPECT_FALSE(EditorBottomChoice(window_)->isChecked());
    EXPECT_EQ(Channels()->TopRow(), 9);
    EXPECT_TRUE(BackgroundItem(window_, Background::Black)->isChecked());
    EXPECT_FALSE(BackgroundItem(window_, Background::Black)->isEnabled());
    EXPECT_FALSE(BackgroundItem(window_, Background::Blue)->isChecked());
    EXPECT_TRUE(HeaderShows(window_, Background::Black));
    EXPECT_TRUE(AutoCheckOffItem(window_)->isChecked());
    EXPECT_FALSE(NotificationsItem(window_)->isChecked());
    EXPECT_FALSE(StayAwakeItem(window_)->isChecked());

    // Opening the panel again is remembered too.
    Click(OpenPanelButton(window_));
    ASSERT_TRUE(CloseWindow());
    OpenWindow();
    EXPECT_EQ(window_->width(), 570);
    EXPECT_TRUE(ClosePanelButton(window_)->isVisible());
    EXPECT_EQ(RightEdge(DateLabel(window_)), 561);
}

// A first run without a settings folder keeps the designed states and its close creates the
// folder with all thirteen keys in table order, "Background" empty, and the shipped list.
TEST_F(WindowSettingsTest, FirstRunWritesEveryKeyAndTheList) {
    OpenWindow();
    EXPECT_EQ(DirectoryCombo(window_)->currentIndex(), 1);
    EXPECT_EQ(VolumeSlider(window_)->value(), 90);
    EXPECT_TRUE(DateLabel(window_)->isVisible());
    EXPECT_FALSE(DateLabel(window_)->text().isEmpty());
    EXPECT_TRUE(BackgroundItem(window_, Background::Blue)->isChecked());
    EXPECT_FALSE(BackgroundItem(window_, Background::Blue)->isEnabled());
    const std::vector<ChannelEntry> shipped = Channels()->Entries();
    EXPECT_GE(shipped.size(), 12u);
    ASSERT_TRUE(CloseWindow());

    EXPECT_EQ(ReadBytes(home_.SettingsFile()),
              "[Default]\nChannel=1\nVolume=90\nProxy=1\nProxyIP=\nForm=568\nShowDate=1\n"
              "ShowTime=1\nItemPositionTop=0\nItemPositionBelow=1\nLanguage=\n"
              "Channelposition=0\nBackground=\nAutocheckoff=0\n");
    const ChannelFileReadResult saved = ReadChannelFile(home_.ChannelListFile());
    EXPECT_FALSE(saved.error);
    EXPECT_EQ(saved.entries, shipped);
}

// Hand-edited values reach the controls as the rules say; keys and sections added by hand
// survive the run in place.
TEST_F(WindowSettingsTest, HandEditedValuesAndForeignKeys) {
    WriteBytes(home_.SettingsFile(),
               "[Mine]\nA=1\n[Default]\nHand=made\nForm=407\nVolume=250\nChannel=-1\n"
               "ShowDate=yes\nShowTime=2\nAutocheckoff=yes\nBackground=blue\n"
               "ItemPositionTop=0\nItemPositionBelow=0\n");
    OpenWindow();
    EXPECT_EQ(window_->width(), 407);
    EXPECT_TRUE(OpenPanelButton(window_)->isVisible());
    EXPECT_EQ(VolumeSlider(window_)->value(), 100);
    EXPECT_EQ(DirectoryCombo(window_)->currentIndex(), -1);
    EXPECT_TRUE(ShowDateItem(window_)->isChecked());
    EXPECT_TRUE(ShowTimeItem(window_)->isChecked());
    EXPECT_FALSE(AutoCheckOffItem(window_)->isChecked());
    EXPECT_FALSE(EditorTopChoice(window_)->isChecked());
    EXPECT_FALSE(EditorBottomChoice(window_)->isChecked());
    // "blue" names no background: the designed header, nothing marked, all enabled.
    EXPECT_TRUE(HeaderShows(window_, Background::Blue));
    for (const BackgroundInfo& b : kBackgrounds) {
        EXPECT_FALSE(BackgroundItem(window_, b.id)->isChecked()) << b.item_name;
        EXPECT_TRUE(BackgroundItem(window_, b.id)->isEnabled()) << b.item_name;
    }
    ASSERT_TRUE(CloseWindow());
    EXPECT_EQ(ReadBytes(home_.SettingsFile()),
              "[Mine]\nA=1\n[Default]\nHand=made\nForm=407\nVolume=100\nChannel=-1\n"
              "ShowDate=1\nShowTime=1\nAutocheckoff=0\nBackground=blue\nItemPositionTop=0\n"
              "ItemPositionBelow=0\nProxy=1\nProxyIP=\nLanguage=\nChannelposition=0\n");

    // 408 is an open-panel width of its own; both position keys set leave "Bottom" selected.
    WriteBytes(home_.SettingsFile(),
               "[Default]\nForm=408\nVolume=0x20\nItemPositionTop=1\nItemPositionBelow=1\n");
    OpenWindow();
    EXPECT_EQ(window_->width(), 408);
    EXPECT_TRUE(ClosePanelButton(window_)->isVisible());
    EXPECT_EQ(RightEdge(DateLabel(window_)), 561);
    EXPECT_EQ(VolumeSlider(window_)->value(), 32);
    EXPECT_FALSE(EditorTopChoice(window_)->isChecked());
    EXPECT_TRUE(EditorBottomChoice(window_)->isChecked());
}

// A settings file that cannot be written: a message naming it, the window stays open and the
// list is not written; a second close after that message tries again and quits, leaving the files
// as they were. A list that cannot be written likewise keeps the window open once; once it can be
// written again, the next close saves what changed since.
TEST_F(WindowSettingsTest, UnwritableFilesKeepTheWindowOpen) {
    WriteBytes(home_.SettingsFile(), "[Default]\nVolume=20\n");
    ASSERT_EQ(::chmod(QFile::encodeName(home_.SettingsFile()).constData(), 0444), 0);
    OpenWindow();
    VolumeSlider(window_)->setValue(60);
    EXPECT_FALSE(CloseWindow());
    ASSERT_EQ(answers_.errors.size(), 1);
    EXPECT_TRUE(answers_.errors[0].contains(home_.SettingsFile()))
        << answers_.errors[0].toStdString();
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(ReadBytes(home_.SettingsFile()), "[Default]\nVolume=20\n");
    EXPECT_FALSE(QFile::exists(home_.ChannelListFile()));
    EXPECT_TRUE(CloseWindow());  // tries again, says so once more, and quits
    ASSERT_EQ(answers_.errors.size(), 2);
    EXPECT_FALSE(answers_.errors[1].contains("Close the window again"));
    EXPECT_EQ(ReadBytes(home_.SettingsFile()), "[Default]\nVolume=20\n");
    EXPECT_FALSE(QFile::exists(home_.ChannelListFile()));

    ASSERT_EQ(::chmod(QFile::encodeName(home_.SettingsFile()).constData(), 0644), 0);
    // The list cannot be put in place; the settings can.
    FileWriterCalls list_refused = SystemFileWriterCalls();
    list_refused.rename = [](const char* from, const char* to) {
        if (QByteArray(to).endsWith("/ChannelList.vlr")) {
            errno = EACCES;
            return -1;
        }
        return ::rename(from, to);
    };
    SetFileWriterCalls(&list_refused);
    OpenWindow();
    VolumeSlider(window_)->setValue(70);
    EXPECT_FALSE(CloseWindow());
    ASSERT_EQ(answers_.errors.size(), 3);
    EXPECT_TRUE(answers_.errors[2].contains(home_.ChannelListFile()))
        << answers_.errors[2].toStdString();
    EXPECT_TRUE(ReadBytes(home_.SettingsFile()).contains("Volume=70\n"));
    EXPECT_TRUE(window_->isVisible());
    EXPECT_FALSE(QFile::exists(home_.ChannelListFile()));
    // The disk has room again and the user changed more: the next close saves it all.
    SetFileWriterCalls(nullptr);
    VolumeSlider(window_)->setValue(75);
    EXPECT_TRUE(CloseWindow());
    EXPECT_EQ(answers_.errors.size(), 3);
    EXPECT_TRUE(ReadBytes(home_.SettingsFile()).contains("Volume=75\n"));
    EXPECT_TRUE(QFile::exists(home_.ChannelListFile()));
}

// A list that cannot be read at start-up leaves the rest of the start-up undone; closing then must
// not replace the user's list and settings with an empty list and the designed defaults.
TEST_F(WindowSettingsTest, UnreadableListLeavesTheUsersFilesAlone) {
    const QByteArray settings = "[Default]\nVolume=30\nBackground=Red\n";
    WriteBytes(home_.SettingsFile(), settings);
    // A folder where the list file should be: it exists, and no read of it can succeed.
    ASSERT_TRUE(QDir().mkpath(home_.ChannelListFile()));

    OpenWindow();
    ASSERT_EQ(answers_.errors.size(), 1);  // the failed read was shown
    // The header's clock still sits at its right edge, the designed window being open.
    EXPECT_EQ(RightEdge(DateLabel(window_)), 561);
    EXPECT_EQ(RightEdge(TimeLabel(window_)), 561);
    QMetaObject::invokeMethod(ClockTimer(window_), "timeout");
    EXPECT_EQ(RightEdge(DateLabel(window_)), 561);
    EXPECT_TRUE(CloseWindow());
    // The user is told at close that the list was not saved.
    ASSERT_EQ(answers_.errors.size(), 2);
    EXPECT_TRUE(answers_.errors[1].contains(home_.ChannelListFile()))
        << answers_.errors[1].toStdString();
    EXPECT_EQ(ReadBytes(home_.SettingsFile()), settings);
    EXPECT_TRUE(QFileInfo(home_.ChannelListFile()).isDir());
}

}  // namespace
}  // namespace velmora
