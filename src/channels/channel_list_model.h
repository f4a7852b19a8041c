// SPDX-License-Identifier: GPL-3.0-or-later
// The user's channel list: one model over the entries (name, playlist, homepage and programs
// addresses) and the one view, ListBox1, that shows the names. The selection is the view's; every
// change of the list goes through the model, which keeps that selection on its entry or clears it
// as the list rules say.
#pragma once

#include <QAbstractListModel>

#include <optional>
#include <vector>

#include "channels/channel_file.h"
#include "channels/channel_list_view.h"

namespace velmora {

class ChannelListModel final : public QAbstractListModel {
    Q_OBJECT
  public:
    enum class Position { Top, Bottom };

    // Creates the view as a child of `parent`.
    explicit ChannelListModel(QWidget* parent);

    ChannelListView* View() const { return view_; }

    int Count() const { return static_cast<int>(entries_.size()); }
    const ChannelEntry& Entry(int row) const { return entries_[static_cast<std::size_t>(row)]; }
    const std::vector<ChannelEntry>& Entries() const { return entries_; }

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
    // Selects `row` and makes it the current one; -1 clears the selection.
    void SetSelectedRow(int row);
    void ClearSelection() { SetSelectedRow(-1); }

    // The first visible row of the view (the settings' "Channelposition").
    int TopRow() const;
    // Scrolls the view so that `row` is the first visible row, now or once it is laid out.
    void SetTopRow(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  signals:
    // The user chose a row of the view (click or keyboard).
    void Chosen();

  private:
    void SwapRows(int a, int b);

    std::vector<ChannelEntry> entries_;
    ChannelListView* view_ = nullptr;
};

// Start-up: fills `list` from `user_file`, or from the shipped default list when the user has no
// file yet. On failure the list stays as it was and the error names the file.
std::optional<ChannelFileError> LoadUserChannelList(ChannelListModel& list,
                                                    const QString& user_file);
// Close: writes `list` to `user_file`; on failure the previous file is untouched.
std::optional<ChannelFileError> SaveUserChannelList(const ChannelListModel& list,
                                                    const QString& user_file);

}  // namespace velmora
