// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/schedule_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/schedule_runner.h"
#include "channels/channel_list_model.h"
#include "channels/directory.h"
#include "desktop/dialogs.h"
#include "i18n/message.h"
#include "playback/now_playing_rules.h"

namespace velmora {

namespace {

constexpr const char* kDayNames[] = {Translatable("Mon"), Translatable("Tue"), Translatable("Wed"),
                                     Translatable("Thu"), Translatable("Fri"), Translatable("Sat"),
                                     Translatable("Sun")};

QString RepeatText(const ScheduledRecording& e) {
    switch (e.repeat) {
        case ScheduleRepeat::Once:
            return Msg("once");
        case ScheduleRepeat::Daily:
            return Msg("daily");
        case ScheduleRepeat::Weekdays:
            return Msg("on weekdays");
        case ScheduleRepeat::Weekly: {
            QStringList days;
            for (int d = 0; d < 7; ++d)
                if ((e.days >> d) & 1u) days << Msg(kDayNames[d]);
            return days.isEmpty() ? Msg("weekly") : Msg("weekly on %1").arg(days.join(", "));
        }
    }
    return {};
}

QString EntryLine(const ScheduledRecording& e) {
    const QString start = QStringLiteral("%1-%2-%3 %4:%5")
                              .arg(e.start.year)
                              .arg(e.start.month, 2, 10, QLatin1Char('0'))
                              .arg(e.start.day, 2, 10, QLatin1Char('0'))
                              .arg(e.start.hour, 2, 10, QLatin1Char('0'))
                              .arg(e.start.minute, 2, 10, QLatin1Char('0'));
    const QString station =
        e.station.empty() ? QString::fromStdString(e.address) : QString::fromStdString(e.station);
    return Msg("%1, %2 min, %3: %4").arg(start).arg(e.duration_minutes).arg(RepeatText(e), station);
}

}  // namespace

ScheduleWindow::ScheduleWindow(ScheduleRunner* runner, const ChannelListModel* channels,
                               QWidget* parent)
    : QDialog(parent), runner_(runner) {
    setObjectName(QStringLiteral("ScheduleWindow"));
    setWindowTitle(Msg("Scheduled Recordings"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("ScheduleList"));
    list_->setAccessibleName(Msg("Scheduled recordings"));

    station_ = new QComboBox(this);
    station_->setObjectName(QStringLiteral("ScheduleStation"));
    station_->setAccessibleName(Msg("Station"));
    station_->setEditable(true);
    station_->addItem(QString(), QString());
    if (channels) {
        for (const ChannelEntry& c : channels->Entries())
            if (!c.playlist.isEmpty()) station_->addItem(c.name, c.playlist);
    }
    // Then the built-in directory's stations, below a line.
    station_->insertSeparator(station_->count());
    for (int row = 0; row < kDirectoryRowCount; ++row) {
        // Rows the record button refuses (streams the engine cannot hand over as bytes) are
        // not offered either.
        if (!IsDirectoryStationRow(row) || !DirectoryRows()[row].fixed_name.empty() ||
            UserChannelCannotRecord(QString::fromUtf8(DirectoryUrl(row))))
            continue;
        station_->addItem(Msg(std::string(DirectoryRows()[row].text).c_str()),
                          QString::fromUtf8(DirectoryUrl(row)));
    }
    address_ = new QLineEdit(this);
    address_->setObjectName(QStringLiteral("ScheduleAddress"));
    address_->setAccessibleName(Msg("Address"));
    address_->setPlaceholderText(QStringLiteral("http://"));
    start_ = new QDateTimeEdit(QDateTime::currentDateTime().addSecs(60), this);
    start_->setObjectName(QStringLiteral("ScheduleStart"));
    start_->setAccessibleName(Msg("Start"));
    start_->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    start_->setCalendarPopup(true);
    minutes_ = new QSpinBox(this);
    minutes_->setObjectName(QStringLiteral("ScheduleMinutes"));
    minutes_->setAccessibleName(Msg("Duration in minutes"));
    minutes_->setRange(1, kScheduleMaxMinutes);
    minutes_->setValue(60);
    repeat_ = new QComboBox(this);
    repeat_->setObjectName(QStringLiteral("ScheduleRepeat"));
    repeat_->setAccessibleName(Msg("Repeat"));
    repeat_->addItems({Msg("once"), Msg("daily"), Msg("on weekdays"), Msg("weekly")});
    auto* days = new QHBoxLayout;
    for (int d = 0; d < 7; ++d) {
        days_[d] = new QCheckBox(Msg(kDayNames[d]), this);
        days_[d]->setObjectName(QStringLiteral("ScheduleDay%1").arg(d + 1));
        days_[d]->setEnabled(false);
        days->addWidget(days_[d]);
    }
    connect(repeat_, &QComboBox::currentIndexChanged, this, [this](int index) {
        for (QCheckBox* day : days_) day->setEnabled(index == 3);
    });
    connect(station_, &QComboBox::activated, this, &ScheduleWindow::FollowStation);

    auto* form = new QFormLayout;
    form->addRow(Msg("&Station:"), station_);
    form->addRow(Msg("&Address:"), address_);
    form->addRow(Msg("S&tart:"), start_);
    form->addRow(Msg("&Minutes:"), minutes_);
    form->addRow(Msg("&Repeat:"), repeat_);
    form->addRow(Msg("Days:"), days);

    add_ = new QPushButton(Msg("&Add"), this);
    add_->setObjectName(QStringLiteral("ScheduleAdd"));
    change_ = new QPushButton(Msg("C&hange"), this);
    change_->setObjectName(QStringLiteral("ScheduleChange"));
    remove_ = new QPushButton(Msg("Re&move"), this);
    remove_->setObjectName(QStringLiteral("ScheduleRemove"));
    auto* close = new QPushButton(Msg("&Close"), this);
    close->setObjectName(QStringLiteral("ScheduleClose"));
    connect(add_, &QPushButton::clicked, this, &ScheduleWindow::AddEntry);
    connect(change_, &QPushButton::clicked, this, &ScheduleWindow::ChangeEntry);
    connect(remove_, &QPushButton::clicked, this, &ScheduleWindow::RemoveEntry);
    connect(list_, &QListWidget::currentRowChanged, this, &ScheduleWindow::ShowEntry);
    // The list tells which entries record now.
    connect(runner_, &ScheduleRunner::recordingStarted, this, &ScheduleWindow::Refresh);
    connect(runner_, &ScheduleRunner::recordingEnded, this, &ScheduleWindow::Refresh);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add_);
    buttons->addWidget(change_);
    buttons->addWidget(remove_);
    buttons->addStretch();
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(form);
    layout->addLayout(buttons);
    resize(560, 480);
    Refresh();
}

void ScheduleWindow::Refresh() {
    const int row = list_->currentRow();
    const QSignalBlocker quiet(list_);  // refilling the list leaves the fields as they are
    list_->clear();
    for (const auto& e : runner_->Entries()) {
        const QString line = EntryLine(e);
        list_->addItem(runner_->IsRecording(e) ? Msg("%1 (recording now)").arg(line) : line);
    }
    // Without a chosen row nothing is chosen: Change must not alter an entry the fields do not
    // show.
    list_->setCurrentRow(row < list_->count() ? row : -1);
    remove_->setEnabled(list_->currentRow() >= 0);
    change_->setEnabled(list_->currentRow() >= 0);
}

void ScheduleWindow::ShowEntry(int row) {
    remove_->setEnabled(row >= 0);
    change_->setEnabled(row >= 0);
    const auto& entries = runner_->Entries();
    if (row < 0 || row >= static_cast<int>(entries.size())) return;
    const ScheduledRecording& e = entries[row];
    station_->setCurrentIndex(0);
    station_->setEditText(QString::fromStdString(e.station));
    address_->setText(QString::fromStdString(e.address));
    start_->setDateTime(QDateTime(QDate(e.start.year, e.start.month, e.start.day),
                                  QTime(e.start.hour, e.start.minute)));
    minutes_->setValue(e.duration_minutes);
    repeat_->setCurrentIndex(static_cast<int>(e.repeat));
    for (int d = 0; d < 7; ++d) days_[d]->setChecked((e.days >> d) & 1u);
}

void ScheduleWindow::FollowStation(int index) {
    const QString address = station_->itemData(index).toString();
    if (!address.isEmpty()) address_->setText(address);
}

std::optional<ScheduledRecording> ScheduleWindow::EntryFromFields() {
    const QString address = address_->text().trimmed();
    if (!address.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
        !address.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        dialogs().Error(this, Msg("Please enter the station's address (http:// or https://)."));
        return std::nullopt;
    }
    ScheduledRecording e;
    e.station = station_->currentText().trimmed().toStdString();
    e.address = address.toStdString();
    const QDateTime start = start_->dateTime();
    e.start = {start.date().year(), start.date().month(), start.date().day(), start.time().hour(),
               start.time().minute()};
    e.duration_minutes = minutes_->value();
    e.repeat = static_cast<ScheduleRepeat>(repeat_->currentIndex());
    for (int d = 0; d < 7; ++d)
        if (e.repeat == ScheduleRepeat::Weekly && days_[d]->isChecked())
            e.days |= static_cast<std::uint8_t>(1u << d);
    return e;
}

void ScheduleWindow::AddEntry() {
    const std::optional<ScheduledRecording> e = EntryFromFields();
    if (!e) return;
    auto entries = runner_->Entries();
    entries.push_back(*e);
    runner_->SetEntries(std::move(entries));
    Refresh();
    list_->setCurrentRow(list_->count() - 1);
}

// A recording of the entry that is running stops; the changed entry starts again when it is due.
void ScheduleWindow::ChangeEntry() {
    const int row = list_->currentRow();
    auto entries = runner_->Entries();
    if (row < 0 || row >= static_cast<int>(entries.size())) return;
    const std::optional<ScheduledRecording> e = EntryFromFields();
    if (!e) return;
    entries[row] = *e;
    runner_->SetEntries(std::move(entries));
    Refresh();
    list_->setCurrentRow(row);
}

void ScheduleWindow::RemoveEntry() {
    const int row = list_->currentRow();
    auto entries = runner_->Entries();
    if (row < 0 || row >= static_cast<int>(entries.size())) return;
    entries.erase(entries.begin() + row);
    runner_->SetEntries(std::move(entries));
    Refresh();
}

}  // namespace velmora
