// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings.h"

#include <QDir>
#include <QFileInfo>

namespace velmora {

namespace {
const QString kSection = QString::fromLatin1(kSettingsSection);
}

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
    s.channel = ini.ReadInteger(kSection, "Channel", d.channel);
    s.volume = ini.ReadInteger(kSection, "Volume", d.volume);
    s.proxy = ini.ReadBool(kSection, "Proxy", d.proxy);
    s.proxy_ip = ini.ReadString(kSection, "ProxyIP");
    s.form = ini.ReadInteger(kSection, "Form", d.form);
    s.show_date = ini.ReadBool(kSection, "ShowDate", d.show_date);
    s.show_time = ini.ReadBool(kSection, "ShowTime", d.show_time);
    s.item_position_top = ini.ReadBool(kSection, "ItemPositionTop", d.item_position_top);
    s.item_position_below = ini.ReadBool(kSection, "ItemPositionBelow", d.item_position_below);
    s.language = ini.ReadString(kSection, "Language");
    s.channel_position = ini.ReadInteger(kSection, "Channelposition", d.channel_position);
    s.background = ini.ReadString(kSection, "Background");
    s.autocheckoff = ini.ReadBool(kSection, "Autocheckoff", d.autocheckoff);
    s.close_to_tray = ini.ReadBool(kSection, "CloseToTray", d.close_to_tray);
    s.notifications = ini.ReadBool(kSection, "Notifications", d.notifications);
    s.stay_awake = ini.ReadBool(kSection, "StayAwake", d.stay_awake);
    result.settings = s;
    return result;
}

FileStatus SaveSettings(const QString& path, const Settings& s) {
    IniFile ini;
    // A file that cannot be read cannot be merged into; writing it would lose its other lines.
    if (FileStatus read = ini.Load(path); !read.ok()) {
        return FileStatus::Failed(FileStatus::Operation::Write, path, read.reason());
    }
    ini.WriteInteger(kSection, "Channel", s.channel);
    ini.WriteInteger(kSection, "Volume", s.volume);
    ini.WriteBool(kSection, "Proxy", s.proxy);
    ini.WriteString(kSection, "ProxyIP", s.proxy_ip);
    ini.WriteInteger(kSection, "Form", s.form);
    ini.WriteBool(kSection, "ShowDate", s.show_date);
    ini.WriteBool(kSection, "ShowTime", s.show_time);
    ini.WriteBool(kSection, "ItemPositionTop", s.item_position_top);
    ini.WriteBool(kSection, "ItemPositionBelow", s.item_position_below);
    ini.WriteString(kSection, "Language", s.language);
    ini.WriteInteger(kSection, "Channelposition", s.channel_position);
    ini.WriteString(kSection, "Background", s.background);
    ini.WriteBool(kSection, "Autocheckoff", s.autocheckoff);
    // Keys added since are written once they differ from their default: a file of someone who
    // never used them holds exactly the thirteen.
    const Settings d;
    const auto write_added = [&](const char* key, bool value, bool default_value) {
        if (value != default_value || ini.HasKey(kSection, key))
            ini.WriteBool(kSection, key, value);
    };
    write_added("CloseToTray", s.close_to_tray, d.close_to_tray);
    write_added("Notifications", s.notifications, d.notifications);
    write_added("StayAwake", s.stay_awake, d.stay_awake);
    return ini.Save(path);
}

}  // namespace velmora
