// SPDX-License-Identifier: GPL-3.0-or-later
// The "Scheduled recordings" window: the list of entries with Add, Change and Remove, and the
// fields of an entry (station from the user's list, the built-in directory or an address, start,
// minutes, repeat and its days); choosing an entry shows its fields. Every change goes to the
// runner at once, which writes the file and stops a recording whose entry is gone.
#pragma once

#include <QDialog>
#include <array>
#include <optional>

#include "recording/recording_schedule.h"

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
    void ChangeEntry();
    void RemoveEntry();
    void FollowStation(int index);
    void ShowEntry(int row);
    // The entry the fields describe; nothing, after telling the user, without an address.
    std::optional<ScheduledRecording> EntryFromFields();

    ScheduleRunner* const runner_;
    QListWidget* list_;
    QComboBox* station_;
    QLineEdit* address_;
    QDateTimeEdit* start_;
    QSpinBox* minutes_;
    QComboBox* repeat_;
    std::array<QCheckBox*, 7> days_{};
    QPushButton* add_;
    QPushButton* change_;
    QPushButton* remove_;
};

}  // namespace velmora
