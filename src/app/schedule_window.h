// SPDX-License-Identifier: GPL-3.0-or-later
// The "Scheduled recordings" window: the list of entries with Add and Remove, and the fields of a
// new entry (station from the user's list or an address, start, minutes, repeat and its days).
// Every change goes to the runner at once, which writes the file.
#pragma once

#include <QDialog>
#include <array>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace velmora {

class ChannelListModel;
class ScheduleRunner;

class ScheduleWindow final : public QDialog {
    Q_OBJECT
  public:
    // `channels` offers the user's stations; both outlive the window.
    ScheduleWindow(ScheduleRunner* runner, const ChannelListModel* channels, QWidget* parent);

    // Shows the runner's entries again.
    void Refresh();

  private:
    void AddEntry();
    void RemoveEntry();
    void FollowStation(int index);

    ScheduleRunner* const runner_;
    QListWidget* list_;
    QComboBox* station_;
    QLineEdit* address_;
    QDateTimeEdit* start_;
    QSpinBox* minutes_;
    QComboBox* repeat_;
    std::array<QCheckBox*, 7> days_{};
    QPushButton* add_;
    QPushButton* remove_;
};

}  // namespace velmora
