// SPDX-License-Identifier: GPL-3.0-or-later
// The title history window: every title the player has shown, newest first, with its time and
// station; titles that came while a recording ran carry the recording mark. Typing filters the
// list, the selected lines can be copied, and the list can be cleared after a question.
#pragma once

#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace velmora {

class TitleHistory;

class TitleHistoryWindow final : public QDialog {
    Q_OBJECT
  public:
    // `history` outlives the window; `clear` empties it (after the user said yes) and reports a
    // failure itself.
    TitleHistoryWindow(const TitleHistory* history, std::function<void()> clear,
                       QWidget* parent = nullptr);

    // Lists the history anew, keeping the filter.
    void Refresh();
    // The selected lines that the filter shows, as the clipboard receives them.
    QString SelectedText() const;

  private:
    void ApplyFilter();
    void CopySelection();
    void AskToClear();
    void UpdateButtons();

    const TitleHistory* const history_;
    const std::function<void()> clear_;
    QLineEdit* filter_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* clear_button_ = nullptr;
};

}  // namespace velmora
