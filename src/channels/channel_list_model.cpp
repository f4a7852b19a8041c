// SPDX-License-Identifier: GPL-3.0-or-later
#include "channels/channel_list_model.h"

#include <QScrollBar>

#include <algorithm>
#include <utility>

namespace velmora {

ChannelListModel::ChannelListModel(QWidget* parent) : QAbstractListModel(parent) {
    view_ = new ChannelListView(parent);
    view_->setObjectName(QStringLiteral("ListBox1"));
    view_->setModel(this);
    connect(view_, &ChannelListView::Chosen, this, &ChannelListModel::Chosen);
}

int ChannelListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

QVariant ChannelListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole) return Entry(index.row()).name;
    return {};
}

Qt::ItemFlags ChannelListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

void ChannelListModel::ReplaceAll(const std::vector<ChannelEntry>& entries) {
    beginResetModel();  // also forgets the selection
    entries_ = entries;
    endResetModel();
}

void ChannelListModel::Insert(int row, const std::vector<ChannelEntry>& entries) {
    if (entries.empty()) return;
    row = std::clamp(row, 0, Count());
    // The selection model shifts a selected row down with its entry.
    beginInsertRows({}, row, row + static_cast<int>(entries.size()) - 1);
    entries_.insert(entries_.begin() + row, entries.begin(), entries.end());
    endInsertRows();
}

void ChannelListModel::Add(const ChannelEntry& entry, Position where) {
    Insert(where == Position::Top ? 0 : Count(), {entry});
}

bool ChannelListModel::ReplaceSelected(const ChannelEntry& entry) {
    const int row = SelectedRow();
    if (row < 0) return false;
    entries_[static_cast<std::size_t>(row)] = entry;
    emit dataChanged(index(row), index(row));
    ClearSelection();
    return true;
}

void ChannelListModel::Remove(int row) {
    if (row < 0 || row >= Count()) return;
    beginRemoveRows({}, row, row);
    entries_.erase(entries_.begin() + row);
    endRemoveRows();
    ClearSelection();
}

void ChannelListModel::Clear() {
    beginResetModel();
    entries_.clear();
    endResetModel();
}

bool ChannelListModel::MoveSelectedUp() {
    const int row = SelectedRow();
    if (row <= 0) return false;
    SwapRows(row, row - 1);
    SetSelectedRow(row - 1);
    return true;
}

bool ChannelListModel::MoveSelectedDown() {
    const int row = SelectedRow();
    if (row < 0 || row + 1 >= Count()) return false;
    SwapRows(row, row + 1);
    SetSelectedRow(row + 1);
    return true;
}

void ChannelListModel::SwapRows(int a, int b) {
    std::swap(entries_[static_cast<std::size_t>(a)], entries_[static_cast<std::size_t>(b)]);
    emit dataChanged(index(std::min(a, b)), index(std::max(a, b)));
}

int ChannelListModel::SelectedRow() const {
    const QModelIndexList selected = view_->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void ChannelListModel::SetSelectedRow(int row) {
    QItemSelectionModel* selection = view_->selectionModel();
    if (row < 0 || row >= Count()) {
        selection->clearSelection();
        selection->setCurrentIndex({}, QItemSelectionModel::ClearAndSelect);
    } else {
        selection->setCurrentIndex(index(row), QItemSelectionModel::ClearAndSelect);
    }
}

int ChannelListModel::TopRow() const {
    if (view_->pending_top_row_ >= 0) return view_->pending_top_row_;
    return view_->verticalScrollBar()->value();
}

void ChannelListModel::SetTopRow(int row) {
    view_->pending_top_row_ = std::max(row, 0);
    view_->ApplyPendingTopRow();
}

std::optional<ChannelFileError> LoadUserChannelList(ChannelListModel& list,
                                                    const QString& user_file) {
    const ChannelFileReadResult read = ReadStartupChannelList(user_file, DefaultChannelListPaths());
    if (read.error) return read.error;
    list.ReplaceAll(read.entries);
    return std::nullopt;
}

std::optional<ChannelFileError> SaveUserChannelList(const ChannelListModel& list,
                                                    const QString& user_file) {
    return WriteChannelFile(user_file, list.Entries());
}

}  // namespace velmora
