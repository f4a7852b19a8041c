// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_binding.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "channels/channel_list_model.h"

namespace velmora {

namespace {

// Radio buttons of one group refuse to be switched off directly; a stored pair of "0" values must
// still leave both unselected.
void SetRadio(QRadioButton* button, bool on) {
    if (on) {
        button->setChecked(true);
    } else if (button->isChecked()) {
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
    }
}

}  // namespace

SongChoices SongChoicesOf(const Settings& s) {
    SongChoices c;
    c.rules.skip_patterns = ParseSkipPatterns(s.song_skip_patterns.toStdString());
    c.rules.min_seconds = s.song_min_seconds;
    c.rules.keep_incomplete = s.keep_incomplete_songs;
    c.window.before = s.song_cut_before;
    c.window.after = s.song_cut_after;
    c.padding = s.song_padding;
    return ClampedSongChoices(c);
}

void StoreSongChoices(const SongChoices& c, Settings* s) {
    QStringList patterns;
    for (const std::string& p : c.rules.skip_patterns) patterns << QString::fromStdString(p);
    s->song_skip_patterns = patterns.join(QStringLiteral(", "));
    s->song_min_seconds = static_cast<int>(std::lround(c.rules.min_seconds));
    s->keep_incomplete_songs = c.rules.keep_incomplete;
    s->song_cut_before = static_cast<int>(std::lround(c.window.before));
    s->song_cut_after = static_cast<int>(std::lround(c.window.after));
    s->song_padding = static_cast<int>(std::lround(c.padding));
}

int ClientWidthFromSetting(int form) {
    return std::clamp(form, kNarrowestClientWidth, kWidestClientWidth);
}

void SetClientWidth(QWidget* window, int width) {
    window->setFixedWidth(width);
}

void ApplySettings(const Settings& s, const SettingsControls& c) {
    c.Directory->setCurrentIndex(s.channel >= 0 && s.channel < c.Directory->count() ? s.channel
                                                                                    : -1);
    c.Volume->setValue(s.volume);
    c.DirectConnection->setChecked(s.direct_connection);
    c.ProxyField->setText(s.proxy_ip);
    SetClientWidth(c.window, ClientWidthFromSetting(s.window_width));
    c.ShowDate->setChecked(s.show_date);
    c.ShowTime->setChecked(s.show_time);
    // "Top" first: when both are set, selecting "Bottom" second clears "Top".
    SetRadio(c.InsertAtTop, s.item_position_top);
    SetRadio(c.InsertAtBottom, s.item_position_below);
    *c.LanguageName = s.language;
    c.channels->SetTopRow(s.channel_position);
    *c.BackgroundName = s.background;
    c.AutoCheckOff->setChecked(s.autocheckoff);
    c.CloseToTray->setChecked(s.close_to_tray);
    if (c.Notifications) c.Notifications->setChecked(s.notifications);
    if (c.StayAwake) c.StayAwake->setChecked(s.stay_awake);
    if (c.SetTimeShiftMinutes) c.SetTimeShiftMinutes(s.time_shift_minutes);
    if (c.RecordPerSong) c.RecordPerSong->setChecked(s.record_per_song);
    if (c.SongRecording) *c.SongRecording = SongChoicesOf(s);
}

Settings CollectSettings(const SettingsControls& c) {
    Settings s;
    s.channel = c.Directory->currentIndex();
    s.volume = c.Volume->value();
    s.direct_connection = c.DirectConnection->isChecked();
    s.proxy_ip = c.ProxyField->text();
    s.window_width = c.window->width();
    s.show_date = c.ShowDate->isChecked();
    s.show_time = c.ShowTime->isChecked();
    s.item_position_top = c.InsertAtTop->isChecked();
    s.item_position_below = c.InsertAtBottom->isChecked();
    s.language = *c.LanguageName;
    s.channel_position = c.channels->TopRow();
    s.background = *c.BackgroundName;
    s.autocheckoff = c.AutoCheckOff->isChecked();
    s.close_to_tray = c.CloseToTray->isChecked();
    if (c.Notifications) s.notifications = c.Notifications->isChecked();
    if (c.StayAwake) s.stay_awake = c.StayAwake->isChecked();
    if (c.TimeShiftMinutes) s.time_shift_minutes = c.TimeShiftMinutes();
    if (c.RecordPerSong) s.record_per_song = c.RecordPerSong->isChecked();
    if (c.SongRecording) StoreSongChoices(*c.SongRecording, &s);
    return s;
}

}  // namespace velmora
