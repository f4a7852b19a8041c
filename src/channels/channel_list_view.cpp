// SPDX-License-Identifier: GPL-3.0-or-later
#include "channels/channel_list_view.h"

#include <QKeyEvent>
#include <QScrollBar>

#include <algorithm>

namespace velmora {

ChannelListView::ChannelListView(QWidget* parent) : QListView(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setUniformItemSizes(true);  // keeps lists of thousands of rows quick to lay out
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QListView::clicked, this, &ChannelListView::Chosen);
}

void ChannelListView::keyPressEvent(QKeyEvent* event) {
    QItemSelectionModel* selection = selectionModel();
    // Enter chooses the row the keyboard is on, as a click does.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        currentIndex().isValid()) {
        selection->select(currentIndex(), QItemSelectionModel::ClearAndSelect);
        emit Chosen();
        event->accept();
        return;
    }
    const int before = currentIndex().row();
    const bool selected_before = selection->hasSelection();
    QListView::keyPressEvent(event);
    if (currentIndex().row() != before || (!selected_before && selection->hasSelection())) {
        emit Chosen();
    }
}

void ChannelListView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    ApplyPendingTopRow();
}

void ChannelListView::showEvent(QShowEvent* event) {
    QListView::showEvent(event);
    ApplyPendingTopRow();
}

void ChannelListView::ApplyPendingTopRow() {
    const int count = model() ? model()->rowCount() : 0;
    if (pending_top_row_ < 0 || !isVisible() || count == 0) return;
    const int row = std::min(pending_top_row_, count - 1);
    doItemsLayout();
    scrollTo(model()->index(row, 0), QAbstractItemView::PositionAtTop);
    pending_top_row_ = -1;
}

}  // namespace velmora
