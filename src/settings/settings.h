// SPDX-License-Identifier: GPL-3.0-or-later
// The user's choices carried from one run to the next, as the keys of section "Default" of
// Config-t.ini hold them: the thirteen designed ones, then those added since. Mapping them onto
// controls (clamping the volume, selecting rows) is the main window's job; this struct holds
// exactly what the file holds.
#pragma once

#include <QString>
#include <optional>

#include "settings/ini_file.h"

namespace velmora {

// The values a missing key or an unparsable value reads as.
struct Settings {
    int channel = 1;                  // "Channel": directory row, -1 for none
    int volume = 90;                  // "Volume": percent, clamped later by the slider
    bool direct_connection = true;    // "Proxy": no proxy is used (the "Proxy off" switch)
    QString proxy_ip;                 // "ProxyIP": server:port or user:pass@server:port
    int window_width = 570;           // "Form": client width, 407 means the panel is closed
    bool show_date = true;            // "ShowDate"
    bool show_time = true;            // "ShowTime"
    bool item_position_top = false;   // "ItemPositionTop"
    bool item_position_below = true;  // "ItemPositionBelow"
    QString language;                 // "Language": "English", "German", "Russian" or other
    int channel_position = 0;         // "Channelposition": first visible user-list row
    QString background;               // "Background": empty until the user chooses one
    bool autocheckoff = false;        // "Autocheckoff"
    // Beyond the original thirteen keys.
    bool close_to_tray = false;    // "CloseToTray": the close box hides the window to the tray
    bool notifications = true;     // "Notifications": a desktop notification for each new title
    bool stay_awake = true;        // "StayAwake": no suspend while a station plays
    int time_shift_minutes = 60;   // "TimeShiftMinutes": kept of a station for pausing, 0 = none
    bool record_per_song = false;  // "RecordPerSong": a recording makes one file per song
    // Song by song: the skip patterns separated by commas, the cut window and the padding in
    // seconds, the minimum length of a whole song, and whether incomplete songs are kept.
    QString song_skip_patterns;         // "SongSkipPatterns"
    int song_cut_before = 2;            // "SongCutBefore"
    int song_cut_after = 4;             // "SongCutAfter"
    int song_padding = 0;               // "SongPadding"
    int song_min_seconds = 30;          // "SongMinSeconds"
    bool keep_incomplete_songs = true;  // "KeepIncompleteSongs": false, they are not saved

    bool operator==(const Settings&) const = default;
};

inline constexpr const char* kSettingsSection = "Default";
inline constexpr const char* kSettingsFileName = "Config-t.ini";

// $XDG_CONFIG_HOME (or ~/.config when unset or empty) followed by /Kestrin/VLR.
QString SettingsFolder();
// SettingsFolder() + "/Config-t.ini".
QString SettingsFilePath();

struct LoadedSettings {
    // Nothing when no file exists at the path: the caller keeps its first-run states.
    std::optional<Settings> settings;
    // A file that exists but cannot be read gives the defaults and the reason here.
    FileStatus status;
};

LoadedSettings LoadSettings(const QString& path);
// Writes the thirteen keys in table order into the file at `path`, then the later ones that differ
// from their default or are already there, keeping every other line; creates the folder when
// missing. On failure the old file is left as it was.
FileStatus SaveSettings(const QString& path, const Settings& settings);

}  // namespace velmora
