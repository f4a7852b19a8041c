// SPDX-License-Identifier: GPL-3.0-or-later
// The user's channel list as the four parallel list widgets ListBox1 (names, visible) and
// ListBox2..ListBox4 (playlist, homepage and programs addresses, hidden). Every change goes through
// this class, which applies it to all four lists at the same row and keeps one selected row
// between them.
#pragma once

#include <QListWidget>
#include <QObject>

#include <optional>
#include <vector>

#include "channels/channel_file.h"

namespace velmora {

// ListBox1: reports the user's choices (mouse clicks and keyboard moves of the selection), not
// the model's own changes, and restores a first visible row once it has a size.
class ChannelListBox final : public QListWidget {
    Q_OBJECT
  public:
    explicit ChannelListBox(QWidget* parent = nullptr);

  signals:
    // The user clicked a row or moved the selection with the keyboard.
    void Chosen();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    friend class ChannelListModel;
    int pending_top_row_ = -1;  // first visible row to show once laid out
    void ApplyPendingTopRow();
};

class ChannelListModel final : public QObject {
    Q_OBJECT
  public:
    enum class Position { Top, Bottom };

    // Creates the four lists as children of `parent`; ListBox2..ListBox4 stay hidden.
    explicit ChannelListModel(QWidget* parent);

    ChannelListBox* View() const { return view_; }
    QListWidget* ListBox(int index) const { return lists_[index]; }  // 0..3 for ListBox1..4

    int Count() const { return lists_[0]->count(); }
    ChannelEntry Entry(int row) const;
    std::vector<ChannelEntry> Entries() const;

    // Replaces the whole list; no row is selected afterwards.
    void ReplaceAll(const std::vector<ChannelEntry>& entries);
    // Inserts `entries` from `row` on; a selected row moves down with its entry.
    void Insert(int row, const std::vector<ChannelEntry>& entries);
    void Add(const ChannelEntry& entry, Position where);
    // Replaces the selected entry in place; no row is selected afterwards. False without a
    // selection.
    bool ReplaceSelected(const ChannelEntry& entry);
    // Removes `row`; no row is selected afterwards.
    void Remove(int row);
    void Clear();
    // Swap the selected entry with its neighbour, the selection moving with it. False when there is
    // no selection or no neighbour on that side.
    bool MoveSelectedUp();
    bool MoveSelectedDown();

    // The selected row, -1 for none.
    int SelectedRow() const;
    // Selects `row` in all four lists; -1 clears the selection.
    void SetSelectedRow(int row);
    void ClearSelection() { SetSelectedRow(-1); }

    // The first visible row of ListBox1 (the settings' "Channelposition").
    int TopRow() const;
    // Scrolls ListBox1 so that `row` is the first visible row, now or once it is laid out.
    void SetTopRow(int row);

  signals:
    // The user chose a row of ListBox1 (click or keyboard); the other lists already follow it.
    void Chosen();

  private:
    void SwapRows(int a, int b);
    void FollowViewSelection();
    void SelectInAll(int row);

    ChannelListBox* view_ = nullptr;
    QListWidget* lists_[4] = {};  // lists_[0] is view_
    bool changing_ = false;       // set while the model itself changes the lists
};

// Start-up: fills `list` from `user_file`, or from the shipped default list when the user has no
// file yet. On failure the list stays as it was and the error names the file.
std::optional<ChannelFileError> LoadUserChannelList(ChannelListModel& list,
                                                    const QString& user_file);
// Close: writes `list` to `user_file`; on failure the previous file is untouched.
std::optional<ChannelFileError> SaveUserChannelList(const ChannelListModel& list,
                                                    const QString& user_file);

}  // namespace velmora
