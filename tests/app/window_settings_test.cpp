// SPDX-License-Identifier: GPL-3.0-or-later
// The stored choices through the real window: what a restart brings back, what the first close
// writes, how hand-edited values land in the controls, and a close that cannot write.
#include <sys/stat.h>

#include <cerrno>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>

#include "app/main_window.h"
#include "app/program_windows.h"
#include "app/window_harness.h"
#include "channels/channel_file.h"
#include "channels/channel_list_model.h"
#include "desktop/file_writer.h"
#include "i18n/language.h"

#include "support/qt_test_helpers.h"

namespace velmora {
namespace {

using test::Click;

using test::ReadBytes;

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    test::WriteBytes(path, bytes);
}

class WindowSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::EnsureApp();
        SetDialogs(&answers_);
        // The catalogue language is process-wide: a language applied by an earlier test is undone.
        SelectCatalogueLanguage(QString());
    }
    void TearDown() override {
        SetFileWriterCalls(nullptr);
        if (form_) CloseWindow();
        SetDialogs(nullptr);
    }

    void OpenWindow() {
        form_ = CreateProgramWindows();
        ASSERT_NE(form_, nullptr);
        form_->show();
    }
    // Closes as the user does; true when the window went (and has been freed).
    bool CloseWindow() {
        const bool closed = test::CloseAndFlush(form_);
        if (closed) form_ = nullptr;
        return closed;
    }

    template <class T>
    T* Child(const char* name) {
        return test::FindChild<T>(form_, name);
    }
    QAction* Item(const char* name) { return Child<QAction>(name); }
    int RightEdge(const char* label) { return test::RightEdge(Child<QLabel>(label)); }

    test::SettingsHome home_;
    test::AnsweringDialogs answers_;
    MainWindow* form_ = nullptr;
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
    form_->Channels()->ReplaceAll(entries);
    Child<QComboBox>("ComboBox1")->setCurrentIndex(14);
    Child<QSlider>("TrackBar1")->setValue(37);
    auto* direct = Child<QCheckBox>("cbDirectConnection");
    test::ClickAt(direct, {6, direct->height() / 2});
    ASSERT_FALSE(direct->isChecked());
    Child<QLineEdit>("ed_ProxyServer")->setText("user:pw@127.0.0.1:3128");
    form_->Channels()->SetTopRow(9);
    Click(Child<QWidget>("Image11"));  // close the panel
    Item("ShowTime1")->trigger();
    Child<QRadioButton>("RadioButton1")->click();  // the editor's "Top"
    Item("Black1")->trigger();
    Item("Autocheckoff1")->trigger();
    Item("Notifications1")->trigger();
    Item("StayAwake1")->trigger();
    ASSERT_TRUE(CloseWindow());
    EXPECT_TRUE(answers_.errors.isEmpty()) << answers_.errors.join(" | ").toStdString();

    EXPECT_EQ(ReadBytes(home_.SettingsFile()),
              "[Default]\nLanguage=German\nChannel=14\nVolume=37\nProxy=0\n"
              "ProxyIP=user:pw@127.0.0.1:3128\nForm=407\nShowDate=1\nShowTime=0\n"
              "ItemPositionTop=1\nItemPositionBelow=0\nChannelposition=9\nBackground=Black\n"
              "Autocheckoff=1\nNotifications=0\nStayAwake=0\n");

    OpenWindow();
    EXPECT_EQ(form_->Channels()->Entries(), entries);
    EXPECT_EQ(Child<QComboBox>("ComboBox1")->currentIndex(), 14);
    EXPECT_EQ(Child<QSlider>("TrackBar1")->value(), 37);
    EXPECT_FALSE(Child<QCheckBox>("cbDirectConnection")->isChecked());
    EXPECT_TRUE(Child<QLineEdit>("ed_ProxyServer")->isEnabled());
    EXPECT_EQ(Child<QLineEdit>("ed_ProxyServer")->text(), "user:pw@127.0.0.1:3128");
    EXPECT_EQ(form_->width(), 407);
    EXPECT_TRUE(Child<QWidget>("Image10")->isVisible());
    EXPECT_FALSE(Child<QWidget>("Image11")->isVisible());
    EXPECT_EQ(RightEdge("Label10"), 398);
    EXPECT_EQ(RightEdge("Label11"), 398);
    EXPECT_TRUE(Item("ShowDate1")->isChecked());
    EXPECT_FALSE(Item("ShowTime1")->isChecked());
    EXPECT_TRUE(Child<QLabel>("Label10")->isVisible());
    EXPECT_FALSE(Child<QLabel>("Label11")->isVisible());
    EXPECT_TRUE(Child<QRadioButton>("RadioButton1")->isChecked());
    EXPECT_FALSE(Child<QRadioButton>("RadioButton2")->isChecked());
    EXPECT_EQ(form_->Channels()->TopRow(), 9);
    EXPECT_TRUE(Item("Black1")->isChecked());
    EXPECT_FALSE(Item("Black1")->isEnabled());
    EXPECT_FALSE(Item("Blue1")->isChecked());
    EXPECT_EQ(Child<QLabel>("Image3")->pixmap().toImage(),
              Child<QLabel>("Image25")->pixmap().toImage());
    EXPECT_TRUE(Item("Autocheckoff1")->isChecked());
    EXPECT_FALSE(Item("Notifications1")->isChecked());
    EXPECT_FALSE(Item("StayAwake1")->isChecked());

    // Opening the panel again is remembered too.
    Click(Child<QWidget>("Image10"));
    ASSERT_TRUE(CloseWindow());
    OpenWindow();
    EXPECT_EQ(form_->width(), 570);
    EXPECT_TRUE(Child<QWidget>("Image11")->isVisible());
    EXPECT_EQ(RightEdge("Label10"), 561);
}

// A first run without a settings folder keeps the designed states and its close creates the
// folder with every key in table order, "Background" empty, and the shipped list.
TEST_F(WindowSettingsTest, FirstRunWritesEveryKeyAndTheList) {
    OpenWindow();
    EXPECT_EQ(Child<QComboBox>("ComboBox1")->currentIndex(), 1);
    EXPECT_EQ(Child<QSlider>("TrackBar1")->value(), 90);
    EXPECT_TRUE(Child<QLabel>("Label10")->isVisible());
    EXPECT_FALSE(Child<QLabel>("Label10")->text().isEmpty());
    EXPECT_TRUE(Item("Blue1")->isChecked());
    EXPECT_FALSE(Item("Blue1")->isEnabled());
    const std::vector<ChannelEntry> shipped = form_->Channels()->Entries();
    EXPECT_GE(shipped.size(), 12u);
    ASSERT_TRUE(CloseWindow());

    EXPECT_EQ(ReadBytes(home_.SettingsFile()),
              "[Default]\nChannel=1\nVolume=90\nProxy=1\nProxyIP=\nForm=568\nShowDate=1\n"
              "ShowTime=1\nItemPositionTop=0\nItemPositionBelow=1\nLanguage=\n"
              "Channelposition=0\nBackground=\nAutocheckoff=0\nNotifications=1\nStayAwake=1\n");
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
    EXPECT_EQ(form_->width(), 407);
    EXPECT_TRUE(Child<QWidget>("Image10")->isVisible());
    EXPECT_EQ(Child<QSlider>("TrackBar1")->value(), 100);
    EXPECT_EQ(Child<QComboBox>("ComboBox1")->currentIndex(), -1);
    EXPECT_TRUE(Item("ShowDate1")->isChecked());
    EXPECT_TRUE(Item("ShowTime1")->isChecked());
    EXPECT_FALSE(Item("Autocheckoff1")->isChecked());
    EXPECT_FALSE(Child<QRadioButton>("RadioButton1")->isChecked());
    EXPECT_FALSE(Child<QRadioButton>("RadioButton2")->isChecked());
    // "blue" names no background: the designed header, nothing marked, all enabled.
    EXPECT_EQ(Child<QLabel>("Image3")->pixmap().toImage(),
              Child<QLabel>("Image23")->pixmap().toImage());
    for (const char* item : {"Blue1", "Vista1", "Red1", "Black1", "Win71"}) {
        EXPECT_FALSE(Item(item)->isChecked()) << item;
        EXPECT_TRUE(Item(item)->isEnabled()) << item;
    }
    ASSERT_TRUE(CloseWindow());
    EXPECT_EQ(ReadBytes(home_.SettingsFile()),
              "[Mine]\nA=1\n[Default]\nHand=made\nForm=407\nVolume=100\nChannel=-1\n"
              "ShowDate=1\nShowTime=1\nAutocheckoff=0\nBackground=blue\nItemPositionTop=0\n"
              "ItemPositionBelow=0\nProxy=1\nProxyIP=\nLanguage=\nChannelposition=0\n"
              "Notifications=1\nStayAwake=1\n");

    // 408 is an open-panel width of its own; both position keys set leave "Bottom" selected.
    WriteBytes(home_.SettingsFile(),
               "[Default]\nForm=408\nVolume=0x20\nItemPositionTop=1\nItemPositionBelow=1\n");
    OpenWindow();
    EXPECT_EQ(form_->width(), 408);
    EXPECT_TRUE(Child<QWidget>("Image11")->isVisible());
    EXPECT_EQ(RightEdge("Label10"), 561);
    EXPECT_EQ(Child<QSlider>("TrackBar1")->value(), 32);
    EXPECT_FALSE(Child<QRadioButton>("RadioButton1")->isChecked());
    EXPECT_TRUE(Child<QRadioButton>("RadioButton2")->isChecked());
}

// A settings file that cannot be written: a message naming it, the window stays open and the
// list is not written; a second close after that message tries again and quits, leaving the files
// as they were. A list that cannot be written likewise keeps the window open once; once it can be
// written again, the next close saves what changed since.
TEST_F(WindowSettingsTest, UnwritableFilesKeepTheWindowOpen) {
    WriteBytes(home_.SettingsFile(), "[Default]\nVolume=20\n");
    ASSERT_EQ(::chmod(QFile::encodeName(home_.SettingsFile()).constData(), 0444), 0);
    OpenWindow();
    Child<QSlider>("TrackBar1")->setValue(60);
    EXPECT_FALSE(CloseWindow());
    ASSERT_EQ(answers_.errors.size(), 1);
    EXPECT_TRUE(answers_.errors[0].contains(home_.SettingsFile()))
        << answers_.errors[0].toStdString();
    EXPECT_TRUE(form_->isVisible());
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
    Child<QSlider>("TrackBar1")->setValue(70);
    EXPECT_FALSE(CloseWindow());
    ASSERT_EQ(answers_.errors.size(), 3);
    EXPECT_TRUE(answers_.errors[2].contains(home_.ChannelListFile()))
        << answers_.errors[2].toStdString();
    EXPECT_TRUE(ReadBytes(home_.SettingsFile()).contains("Volume=70\n"));
    EXPECT_TRUE(form_->isVisible());
    EXPECT_FALSE(QFile::exists(home_.ChannelListFile()));
    // The disk has room again and the user changed more: the next close saves it all.
    SetFileWriterCalls(nullptr);
    Child<QSlider>("TrackBar1")->setValue(75);
    EXPECT_TRUE(CloseWindow());
    EXPECT_EQ(answers_.errors.size(), 3);
    EXPECT_TRUE(ReadBytes(home_.SettingsFile()).contains("Volume=75\n"));
    EXPECT_TRUE(QFile::exists(home_.ChannelListFile()));
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

// A list that cannot be read at start-up leaves the rest of the start-up undone; closing then must
// not replace the user's list and settings with an empty list and the designed defaults.
TEST(WindowStartupFailure, UnreadableListLeavesTheUsersFilesAlone) {
    test::EnsureApp();
    test::SettingsHome home;
    test::AnsweringDialogs answers;
    SetDialogs(&answers);
    const QByteArray settings = "[Default]\nVolume=30\nBackground=Red\n";
    {
        QDir().mkpath(QFileInfo(home.SettingsFile()).path());
        QFile f(home.SettingsFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(settings);
    }
    // A folder where the list file should be: it exists, and no read of it can succeed.
    const QString list = QFileInfo(home.SettingsFile()).path() + "/ChannelList.vlr";
    ASSERT_TRUE(QDir().mkpath(list));

    MainWindow* form = CreateProgramWindows();
    ASSERT_NE(form, nullptr);
    form->show();
    ASSERT_EQ(answers.errors.size(), 1);  // the failed read was shown
    // The header's clock still sits at its right edge, the designed window being open.
    EXPECT_EQ(test::RightEdge(test::FindChild<QLabel>(form, "Label10")), 561);
    EXPECT_EQ(test::RightEdge(test::FindChild<QLabel>(form, "Label11")), 561);
    QMetaObject::invokeMethod(form->findChild<QTimer*>("Timer4"), "timeout");
    EXPECT_EQ(test::RightEdge(test::FindChild<QLabel>(form, "Label10")), 561);
    EXPECT_TRUE(form->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The user is told at close that the list was not saved.
    ASSERT_EQ(answers.errors.size(), 2);
    EXPECT_TRUE(answers.errors[1].contains(list)) << answers.errors[1].toStdString();

    QFile f(home.SettingsFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), settings);
    EXPECT_TRUE(QFileInfo(list).isDir());
    SetDialogs(nullptr);
}

}  // namespace
}  // namespace velmora
