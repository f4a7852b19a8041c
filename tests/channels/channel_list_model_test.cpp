// SPDX-License-Identifier: GPL-3.0-or-later
#include "channels/channel_list_model.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QWidget>

#include "channel_test_support.h"

namespace velmora {
namespace {

using testing::App;

std::vector<ChannelEntry> Numbered(int n) {
    std::vector<ChannelEntry> entries;
    for (int i = 0; i < n; ++i) {
        const QString k = QString::number(i);
        entries.push_back({"name" + k, "play" + k, "home" + k, "prog" + k});
    }
    return entries;
}

// `row` is the one selected row and the view's current one (-1: none of either).
void ExpectSelected(const ChannelListModel& m, int row) {
    const QModelIndexList selected = m.View()->selectionModel()->selectedIndexes();
    if (row < 0) {
        EXPECT_TRUE(selected.isEmpty());
        EXPECT_FALSE(m.View()->currentIndex().isValid());
    } else {
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(selected.first().row(), row);
        EXPECT_EQ(m.View()->currentIndex().row(), row);
    }
    EXPECT_EQ(m.SelectedRow(), row);
}

// The view shows the names; inserting, replacing and removing change whole entries; the selection
// follows its entry on insertion and is gone after a removal or a replacement.
TEST(ChannelListModel, ChangesKeepEntriesAndSelection) {
    App();
    QWidget panel;
    ChannelListModel m(&panel);
    EXPECT_EQ(m.View()->objectName(), "ListBox1");
    EXPECT_EQ(m.View()->model(), &m);

    m.ReplaceAll(Numbered(5));
    ExpectSelected(m, -1);
    EXPECT_EQ(m.Entry(4), Numbered(5)[4]);
    EXPECT_EQ(m.data(m.index(4), Qt::DisplayRole).toString(), "name4");

    m.SetSelectedRow(2);
    ExpectSelected(m, 2);
    m.Add({"top", "t", "", ""}, ChannelListModel::Position::Top);
    ExpectSelected(m, 3);
    EXPECT_EQ(m.Entry(3).name, "name2");
    m.Add({"bottom", "b", "", ""}, ChannelListModel::Position::Bottom);
    ExpectSelected(m, 3);
    EXPECT_EQ(m.Entry(6), (ChannelEntry{"bottom", "b", "", ""}));

    m.Remove(3);
    ExpectSelected(m, -1);
    EXPECT_EQ(m.Count(), 6);
    EXPECT_EQ(m.Entry(3).playlist, "play3");

    m.SetSelectedRow(0);
    EXPECT_TRUE(m.ReplaceSelected({"new", "n", "h", "p"}));
    ExpectSelected(m, -1);
    EXPECT_EQ(m.Entry(0), (ChannelEntry{"new", "n", "h", "p"}));
    EXPECT_FALSE(m.ReplaceSelected({"x", "x", "", ""}));

    m.SetSelectedRow(5);
    EXPECT_FALSE(m.MoveSelectedDown());
    EXPECT_TRUE(m.MoveSelectedUp());
    ExpectSelected(m, 4);
    EXPECT_EQ(m.Entry(4), (ChannelEntry{"bottom", "b", "", ""}));
    EXPECT_EQ(m.Entry(5), Numbered(5)[4]);

    m.Clear();
    ExpectSelected(m, -1);
    EXPECT_EQ(m.Count(), 0);
    EXPECT_FALSE(m.MoveSelectedUp());
}

// A mouse click or an arrow key in the view is a choice, which the model reports; the model's own
// changes are not reported as choices.
TEST(ChannelListModel, UserSelectionIsFollowedAndReported) {
    App();
    QWidget panel;
    panel.resize(200, 200);
    ChannelListModel m(&panel);
    m.View()->setGeometry(8, 16, 137, 152);
    m.ReplaceAll(Numbered(5));
    panel.show();
    int chosen = 0;
    QObject::connect(&m, &ChannelListModel::Chosen, [&] { ++chosen; });

    QWidget* viewport = m.View()->viewport();
    const QPointF at = m.View()->visualRect(m.index(1)).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, viewport->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, viewport->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    QApplication::sendEvent(viewport, &release);
    EXPECT_EQ(chosen, 1);
    ExpectSelected(m, 1);

    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(m.View(), &down);
    EXPECT_EQ(chosen, 2);
    ExpectSelected(m, 2);
    QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    QApplication::sendEvent(m.View(), &shift);  // the selection stays: no choice
    EXPECT_EQ(chosen, 2);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(m.View(), &enter);  // chooses the row again, as a click does
    EXPECT_EQ(chosen, 3);

    m.SetSelectedRow(4);
    m.MoveSelectedUp();
    m.Add({"x", "x", "", ""}, ChannelListModel::Position::Top);
    EXPECT_EQ(chosen, 3);
    ExpectSelected(m, 4);
}

// "Channelposition": the first visible row set before the list is shown is in place once it is,
// and reads back the same.
TEST(ChannelListModel, FirstVisibleRowIsRestored) {
    App();
    QWidget panel;
    panel.resize(200, 200);
    ChannelListModel m(&panel);
    m.View()->setGeometry(8, 16, 137, 152);
    m.ReplaceAll(Numbered(100));
    m.SetTopRow(40);
    EXPECT_EQ(m.TopRow(), 40);
    panel.show();
    QApplication::processEvents();
    EXPECT_EQ(m.TopRow(), 40);
    EXPECT_EQ(m.View()->indexAt(QPoint(4, 4)).row(), 40);

    m.SetTopRow(7);
    QApplication::processEvents();
    EXPECT_EQ(m.TopRow(), 7);
    EXPECT_EQ(m.View()->indexAt(QPoint(4, 4)).row(), 7);

    // Set while hidden again, at an unchanged size.
    panel.hide();
    m.SetTopRow(60);
    panel.show();
    QApplication::processEvents();
    EXPECT_EQ(m.View()->indexAt(QPoint(4, 4)).row(), 60);
    EXPECT_EQ(m.TopRow(), 60);
}

// Saving and loading through the user's file; a load that fails leaves the list alone.
TEST(ChannelListModel, SavesAndLoadsUserFile) {
    App();
    QWidget panel;
    ChannelListModel saved(&panel), loaded(&panel);
    QTemporaryDir dir;
    const QString path = dir.filePath("ChannelList.vlr");
    saved.ReplaceAll(Numbered(3));
    saved.Add(ChannelEntry::Separator(), ChannelListModel::Position::Top);
    ASSERT_FALSE(SaveUserChannelList(saved, path).has_value());
    loaded.ReplaceAll(Numbered(1));
    loaded.SetSelectedRow(0);
    ASSERT_FALSE(LoadUserChannelList(loaded, path).has_value());
    EXPECT_EQ(loaded.Entries(), saved.Entries());
    ExpectSelected(loaded, -1);

    // A folder where the file should be cannot be read, not even by root.
    const QString folder = dir.filePath("Folder.vlr");
    ASSERT_TRUE(QDir().mkpath(folder));
    loaded.ReplaceAll(Numbered(2));
    const auto error = LoadUserChannelList(loaded, folder);
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->Message().contains(folder));
    EXPECT_EQ(loaded.Entries(), Numbered(2));
}

}  // namespace
}  // namespace velmora
