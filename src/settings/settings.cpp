// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings.h"

#include <QDir>
#include <QFileInfo>
#include <type_traits>
#include <variant>

namespace velmora {

namespace {

const QString kSection = QString::fromLatin1(kSettingsSection);

// Every key once, in the file's order: the thirteen designed ones, then those added since.
struct SettingsKey {
    const char* name;
    std::variant<int Settings::*, bool Settings::*, QString Settings::*> field;
    bool added = false;
};
const SettingsKey kSettingsKeys[] = {
    {"Channel", &Settings::channel},
    {"Volume", &Settings::volume},
    {"Proxy", &Settings::direct_connection},
    {"ProxyIP", &Settings::proxy_ip},
    {"Form", &Settings::window_width},
    {"ShowDate", &Settings::show_date},
    {"ShowTime", &Settings::show_time},
    {"ItemPositionTop", &Settings::item_position_top},
    {"ItemPositionBelow", &Settings::item_position_below},
    {"Language", &Settings::language},
    {"Channelposition", &Settings::channel_position},
    {"Background", &Settings::background},
    {"Autocheckoff", &Settings::autocheckoff},
    {"CloseToTray", &Settings::close_to_tray, true},
    {"Notifications", &Settings::notifications, true},
    {"StayAwake", &Settings::stay_awake, true},
    {"TimeShiftMinutes", &Settings::time_shift_minutes, true},
    {"RecordPerSong", &Settings::record_per_song, true},
    {"SongSkipPatterns", &Settings::song_skip_patterns, true},
    {"SongCutBefore", &Settings::song_cut_before, true},
    {"SongCutAfter", &Settings::song_cut_after, true},
    {"SongPadding", &Settings::song_padding, true},
    {"SongMinSeconds", &Settings::song_min_seconds, true},
    {"KeepIncompleteSongs", &Settings::keep_incomplete_songs, true},
};

}  // namespace

QString SettingsFolder() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Kestrin/VLR");
}

QString SettingsFilePath() {
    return SettingsFolder() + QLatin1Char('/') + QString::fromLatin1(kSettingsFileName);
}

LoadedSettings LoadSettings(const QString& path) {
    LoadedSettings result;
    if (!QFileInfo::exists(path)) return result;
    IniFile ini;
    result.status = ini.Load(path);
    Settings s;
    const Settings d;
    for (const SettingsKey& key : kSettingsKeys) {
        std::visit(
            [&](auto field) {
                using Value = std::remove_reference_t<decltype(s.*field)>;
                if constexpr (std::is_same_v<Value, int>) {
                    s.*field = ini.ReadInteger(kSection, key.name, d.*field);
                } else if constexpr (std::is_same_v<Value, bool>) {
                    s.*field = ini.ReadBool(kSection, key.name, d.*field);
                } else {
                    s.*field = ini.ReadString(kSection, key.name);
                }
            },
            key.field);
    }
    result.settings = s;
    return result;
}

FileStatus SaveSettings(const QString& path, const Settings& s) {
    IniFile ini;
    // A file that cannot be read cannot be merged into; writing it would lose its other lines.
    if (FileStatus read = ini.Load(path); !read.ok()) {
        return FileStatus::Failed(FileStatus::Operation::Write, path, read.reason());
    }
    const Settings d;
    for (const SettingsKey& key : kSettingsKeys) {
        std::visit(
            [&](auto field) {
                // Keys added since are written once they differ from their default: a file of
                // someone who never used them holds exactly the thirteen.
                if (key.added && s.*field == d.*field && !ini.HasKey(kSection, key.name)) return;
                using Value = std::remove_cvref_t<decltype(s.*field)>;
                if constexpr (std::is_same_v<Value, int>) {
                    ini.WriteInteger(kSection, key.name, s.*field);
                } else if constexpr (std::is_same_v<Value, bool>) {
                    ini.WriteBool(kSection, key.name, s.*field);
                } else {
                    ini.WriteString(kSection, key.name, s.*field);
                }
            },
            key.field);
    }
    return ini.Save(path);
}

}  // namespace velmora
