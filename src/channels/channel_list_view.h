// SPDX-License-Identifier: GPL-3.0-or-later
// The user's channel list as the window shows it; its rows come from ChannelListModel.
#pragma once

#include <QListView>

namespace velmora {

// ListBox1: reports the user's choices (mouse clicks and keyboard moves of the selection), not
// the model's own changes, and restores a first visible row once it has a size.
class ChannelListView final : public QListView {
    Q_OBJECT
  public:
    explicit ChannelListView(QWidget* parent = nullptr);

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

}  // namespace velmora
