// SPDX-License-Identifier: GPL-3.0-or-later
#include "channels/channel_operations.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include "channel_test_support.h"
#include "channels/channel_list_model.h"

namespace velmora {
namespace {

using testing::AnsweringDialogs;
using testing::App;

// Stands in for the main window's playback: records what was asked and how long the list was
// at that moment, so the order of stopping and removing shows.
class RecordingHost final : public ChannelListHost {
  public:
    explicit RecordingHost(const ChannelListModel& list) : list_(list) {}
    void StopAndReleaseStream() override { calls.append(QString("stop@%1").arg(list_.Count())); }
    void ResetNowPlaying() override { calls.append(QString("reset@%1").arg(list_.Count())); }
    QStringList calls;

  private:
    const ChannelListModel& list_;
};

QStringList Names(const ChannelListModel& list) {
    QStringList names;
    for (const ChannelEntry& e : list.Entries()) names.append(e.name);
    return names;
}

struct OperationsFixture {
    OperationsFixture() {
        list.ReplaceAll({{"A", "a", "", ""},
                         {"B", "b", "hb", ""},
                         {"C", "c", "", "pc"},
                         {"D", "d", "", ""},
                         {"E", "e", "", ""}});
    }
    QApplication& app = App();  // before any widget
    AnsweringDialogs answers;
    QWidget window;
    ChannelListModel list{&window};
    RecordingHost host{list};
    QTemporaryDir dir;
};

// Delete refuses on an empty list or without a selection, does nothing on "No", and on "Yes"
// stops playback, removes the row and resets the display, in that order.
TEST(ChannelOperations, DeleteAsksAndStopsPlayback) {
    OperationsFixture f;
    DeleteChannel(f.list, f.host, &f.window);
    EXPECT_EQ(f.answers.errors, QStringList({"Please select a channel!"}));
    EXPECT_TRUE(f.answers.questions.isEmpty());

    f.list.SetSelectedRow(3);
    f.answers.yes_no = {false};
    DeleteChannel(f.list, f.host, &f.window);
    EXPECT_EQ(f.answers.questions, QStringList({"Sure delete?"}));
    EXPECT_EQ(f.list.Count(), 5);
    EXPECT_TRUE(f.host.calls.isEmpty());
    EXPECT_EQ(f.list.SelectedRow(), 3);

    f.answers.yes_no = {true};
    DeleteChannel(f.list, f.host, &f.window);
    EXPECT_EQ(Names(f.list), QStringList({"A", "B", "C", "E"}));
    EXPECT_EQ(f.host.calls, QStringList({"stop@5", "reset@4"}));
    EXPECT_EQ(f.list.SelectedRow(), -1);

    // Delete all: "No" keeps everything, "Yes" empties; playback is none of its business.
    f.answers.yes_no = {false, true};
    DeleteAllChannels(f.list, &f.window);
    EXPECT_EQ(f.list.Count(), 4);
    DeleteAllChannels(f.list, &f.window);
    EXPECT_EQ(f.list.Count(), 0);
    EXPECT_EQ(f.answers.questions.mid(2),
              QStringList({"Sure delete all channels?", "Sure delete all channels?"}));
    EXPECT_EQ(f.host.calls.size(), 2);

    f.answers.errors.clear();
    DeleteChannel(f.list, f.host, &f.window);
    DeleteAllChannels(f.list, &f.window);
    EXPECT_EQ(f.answers.errors, QStringList({"No channel to delete!", "No channel to delete!"}));
    EXPECT_EQ(f.host.calls.size(), 2);
}

// Moving the third of five up twice makes it first, the selection staying on it; at either end a
// move does nothing and says nothing.
TEST(ChannelOperations, MovesOneRowAtATime) {
    OperationsFixture f;
    MoveChannelUp(f.list, &f.window);
    EXPECT_EQ(f.answers.errors, QStringList({"Please select a channel!"}));

    f.list.SetSelectedRow(2);
    MoveChannelUp(f.list, &f.window);
    EXPECT_EQ(Names(f.list), QStringList({"A", "C", "B", "D", "E"}));
    EXPECT_EQ(f.list.SelectedRow(), 1);
    MoveChannelUp(f.list, &f.window);
    EXPECT_EQ(Names(f.list), QStringList({"C", "A", "B", "D", "E"}));
    EXPECT_EQ(f.list.SelectedRow(), 0);
    EXPECT_EQ(f.list.Entry(0), (ChannelEntry{"C", "c", "", "pc"}));
    EXPECT_EQ(f.list.Entry(2), (ChannelEntry{"B", "b", "hb", ""}));

    MoveChannelUp(f.list, &f.window);
    EXPECT_EQ(f.list.SelectedRow(), 0);
    f.list.SetSelectedRow(4);
    MoveChannelDown(f.list, &f.window);
    EXPECT_EQ(f.list.SelectedRow(), 4);
    f.list.SetSelectedRow(3);
    MoveChannelDown(f.list, &f.window);
    EXPECT_EQ(Names(f.list), QStringList({"C", "A", "B", "E", "D"}));
    EXPECT_EQ(f.list.SelectedRow(), 4);
    EXPECT_EQ(f.answers.errors.size(), 1);
}

// Export suggests "Channel-List.vlr" every time, adds ".vlr" to a bare name, writes nothing when
// cancelled and names a file it cannot create.
TEST(ChannelOperations, ExportSuggestsSameNameAndWritesList) {
    OperationsFixture f;
    f.list.Add(ChannelEntry::Separator(), ChannelListModel::Position::Bottom);
    f.answers.file_name = f.dir.filePath("mine");
    ExportChannelList(f.list, &f.window);
    f.answers.file_name = f.dir.filePath("second.vlr");
    ExportChannelList(f.list, &f.window);
    EXPECT_EQ(f.answers.suggested_names, QStringList({"Channel-List.vlr", "Channel-List.vlr"}));
    EXPECT_EQ(f.answers.filters.first(), "VLR-File (*.vlr)");
    EXPECT_FALSE(QFile::exists(f.dir.filePath("mine")));
    QFile written(f.dir.filePath("mine.vlr"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    EXPECT_TRUE(bytes.startsWith("=A=a===\r\n=B=b=hb==\r\n"));
    EXPECT_TRUE(bytes.endsWith("=E=e===\r\n=--------------------------------====\r\n"));
    EXPECT_TRUE(QFile::exists(f.dir.filePath("second.vlr")));

    f.answers.file_name.clear();
    ExportChannelList(f.list, &f.window);
    EXPECT_EQ(f.answers.suggested_names.size(), 3);

    const QString bad = f.dir.filePath("missing-folder/list.vlr");
    f.answers.file_name = bad;
    f.list.SetSelectedRow(1);
    ExportChannelList(f.list, &f.window);
    ASSERT_EQ(f.answers.errors.size(), 1);
    EXPECT_TRUE(f.answers.errors.first().contains(bad));
    EXPECT_EQ(f.list.Count(), 6);
    EXPECT_EQ(f.list.SelectedRow(), 1);
}

// Import reads the file before asking; "Yes" puts the file's entries above the kept ones, "No"
// keeps only the file's; an empty list is not asked about; an unreadable file changes nothing.
TEST(ChannelOperations, ImportRetainsOrReplaces) {
    OperationsFixture f;
    const QString path = f.dir.filePath("in.vlr");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("=X=x===\n=--------------------------------====\n=Y=y=hy=py=\n");
    }
    f.answers.file_name = path;
    f.list.SetSelectedRow(1);
    f.answers.yes_no = {true};
    ImportChannelList(f.list, &f.window);
    EXPECT_EQ(f.answers.questions, QStringList({"Retain existing Channel-List?"}));
    EXPECT_EQ(Names(f.list),
              QStringList({"X", "--------------------------------", "Y", "A", "B", "C", "D", "E"}));
    EXPECT_EQ(f.list.Entry(2), (ChannelEntry{"Y", "y", "hy", "py"}));
    EXPECT_EQ(f.list.SelectedRow(), 4);  // "B" kept its selection

    f.answers.yes_no = {false};
    ImportChannelList(f.list, &f.window);
    EXPECT_EQ(Names(f.list), QStringList({"X", "--------------------------------", "Y"}));

    // Round trip through export into an empty list.
    const std::vector<ChannelEntry> before = f.list.Entries();
    f.answers.file_name = f.dir.filePath("out.vlr");
    ExportChannelList(f.list, &f.window);
    f.list.Clear();
    ImportChannelList(f.list, &f.window);
    EXPECT_EQ(f.list.Entries(), before);
    EXPECT_EQ(f.answers.questions.size(), 2);  // the empty list was not asked about

    // Missing file: the error names it, nothing is asked or changed.
    f.answers.file_name = f.dir.filePath("gone.vlr");
    ImportChannelList(f.list, &f.window);
    ASSERT_EQ(f.answers.errors.size(), 1);
    EXPECT_TRUE(f.answers.errors.first().contains(f.dir.filePath("gone.vlr")));
    EXPECT_EQ(f.answers.questions.size(), 2);
    EXPECT_EQ(f.list.Entries(), before);

    // An empty file still asks; "No" leaves the list empty.
    const QString empty = f.dir.filePath("empty.vlr");
    QFile(empty).open(QIODevice::WriteOnly);
    f.answers.file_name = empty;
    f.answers.yes_no = {false};
    ImportChannelList(f.list, &f.window);
    EXPECT_EQ(f.answers.questions.size(), 3);
    EXPECT_EQ(f.list.Count(), 0);

    // Cancelled dialog: nothing happens.
    f.list.ReplaceAll(before);
    f.answers.file_name.clear();
    ImportChannelList(f.list, &f.window);
    EXPECT_EQ(f.list.Entries(), before);
    EXPECT_EQ(f.answers.questions.size(), 3);
}

}  // namespace
}  // namespace velmora
