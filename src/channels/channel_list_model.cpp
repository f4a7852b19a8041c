// SPDX-License-Identifier: GPL-3.0-or-later
#include "channels/channel_list_model.h"

#include <QKeyEvent>
#include <QScrollBar>

#include <utility>

namespace velmora {

ChannelListBox::ChannelListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setUniformItemSizes(true);  // keeps lists of thousands of rows quick to lay out
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(this, &QListWidget::itemClicked, this, &ChannelListBox::Chosen);
}

void ChannelListBox::keyPressEvent(QKeyEvent* event) {
    // Enter chooses the row the keyboard is on, as a click does.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentRow() >= 0) {
        currentItem()->setSelected(true);
        emit Chosen();
        event->accept();
        return;
    }
    const int before = currentRow();
    const bool selected_before = !selectedItems().isEmpty();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before || (!selected_before && !selectedItems().isEmpty())) emit Chosen();
}

void ChannelListBox::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    ApplyPendingTopRow();
}

void ChannelListBox::showEvent(QShowEvent* event) {
    QListWidget::showEvent(event);
    ApplyPendingTopRow();
}

void ChannelListBox::ApplyPendingTopRow() {
    if (pending_top_row_ < 0 || !isVisible() || count() == 0) return;
    const int row = std::min(pending_top_row_, count() - 1);
    doItemsLayout();
    scrollToItem(item(row), QAbstractItemView::PositionAtTop);
    pending_top_row_ = -1;
}

ChannelListModel::ChannelListModel(QWidget* parent) : QObject(parent) {
    view_ = new ChannelListBox(parent);
    lists_[0] = view_;
    for (int i = 1; i < 4; ++i) {
        lists_[i] = new QListWidget(parent);
        lists_[i]->setSelectionMode(QAbstractItemView::SingleSelection);
        lists_[i]->setUniformItemSizes(true);
        lists_[i]->hide();
    }
    for (int i = 0; i < 4; ++i) lists_[i]->setObjectName(QStringLiteral("ListBox%1").arg(i + 1));
    connect(view_, &QListWidget::itemSelectionChanged, this,
            &ChannelListModel::FollowViewSelection);
    connect(view_, &ChannelListBox::Chosen, this, &ChannelListModel::Chosen);
}

ChannelEntry ChannelListModel::Entry(int row) const {
    return {lists_[0]->item(row)->text(), lists_[1]->item(row)->text(),
            lists_[2]->item(row)->text(), lists_[3]->item(row)->text()};
}

std::vector<ChannelEntry> ChannelListModel::Entries() const {
    std::vector<ChannelEntry> entries;
    entries.reserve(static_cast<std::size_t>(Count()));
    for (int row = 0; row < Count(); ++row) entries.push_back(Entry(row));
    return entries;
}

void ChannelListModel::ReplaceAll(const std::vector<ChannelEntry>& entries) {
    Clear();
    Insert(0, entries);
}

void ChannelListModel::Insert(int row, const std::vector<ChannelEntry>& entries) {
    if (entries.empty()) return;
    QStringList columns[4];
    for (QStringList& c : columns) c.reserve(static_cast<qsizetype>(entries.size()));
    for (const ChannelEntry& e : entries) {
        columns[0].append(e.name);
        columns[1].append(e.playlist);
        columns[2].append(e.homepage);
        columns[3].append(e.programs);
    }
    const bool was_changing = std::exchange(changing_, true);
    // The item views shift a selected row down with its entry by themselves.
    for (int i = 0; i < 4; ++i) lists_[i]->insertItems(row, columns[i]);
    changing_ = was_changing;
}

void ChannelListModel::Add(const ChannelEntry& entry, Position where) {
    Insert(where == Position::Top ? 0 : Count(), {entry});
}

bool ChannelListModel::ReplaceSelected(const ChannelEntry& entry) {
    const int row = SelectedRow();
    if (row < 0) return false;
    const QString texts[4] = {entry.name, entry.playlist, entry.homepage, entry.programs};
    const bool was_changing = std::exchange(changing_, true);
    for (int i = 0; i < 4; ++i) lists_[i]->item(row)->setText(texts[i]);
    changing_ = was_changing;
    ClearSelection();
    return true;
}

void ChannelListModel::Remove(int row) {
    if (row < 0 || row >= Count()) return;
    const bool was_changing = std::exchange(changing_, true);
    for (QListWidget* list : lists_) delete list->takeItem(row);
    changing_ = was_changing;
    ClearSelection();
}

void ChannelListModel::Clear() {
    const bool was_changing = std::exchange(changing_, true);
    for (QListWidget* list : lists_) list->clear();
    changing_ = was_changing;
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
    const bool was_changing = std::exchange(changing_, true);
    for (QListWidget* list : lists_) {
        QListWidgetItem* x = list->item(a);
        QListWidgetItem* y = list->item(b);
        const QString text = x->text();
        x->setText(y->text());
        y->setText(text);
    }
    changing_ = was_changing;
}

int ChannelListModel::SelectedRow() const {
    const QList<QListWidgetItem*> selected = view_->selectedItems();
    return selected.isEmpty() ? -1 : view_->row(selected.first());
}

void ChannelListModel::SetSelectedRow(int row) {
    if (row >= Count()) row = -1;
    const bool was_changing = std::exchange(changing_, true);
    SelectInAll(row);
    changing_ = was_changing;
}

void ChannelListModel::SelectInAll(int row) {
    for (QListWidget* list : lists_) {
        if (row < 0) {
            list->clearSelection();
            list->setCurrentRow(-1);
        } else {
            list->setCurrentRow(row);
        }
    }
}

void ChannelListModel::FollowViewSelection() {
    if (!changing_) SetSelectedRow(SelectedRow());
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
