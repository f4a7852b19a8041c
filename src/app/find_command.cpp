// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/find_command.h"

#include "finding/directory_error_text.h"
#include "finding/finder_setup.h"
#include "settings/settings.h"

namespace velmora {
namespace {

QString OneLine(const std::string& text) {
    QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    for (QChar& c : s)
        if (c.category() == QChar::Other_Control) c = QLatin1Char(' ');
    return s.simplified();
}

}  // namespace

QString FoundStationLine(const FoundStation& s) {
    QString format = OneLine(s.codec);
    if (s.bitrate > 0) format += QLatin1Char(' ') + QString::number(s.bitrate);
    return OneLine(s.name) + QLatin1Char('\t') + format.trimmed() + QLatin1Char('\t') +
           OneLine(s.countrycode) + QLatin1Char('\t') + OneLine(s.PlayAddress());
}

int RunFindCommand(const QString& words, std::FILE* out, std::FILE* err) {
    // The user's proxy setting, as the window would use it.
    const LoadedSettings loaded = LoadSettings(SettingsFilePath());
    const Settings settings = loaded.settings.value_or(Settings{});
    const QString proxy = settings.direct_connection ? QString() : settings.proxy_ip;
    const auto client =
        MakeDirectoryClient(QLatin1String(VELMORA_VERSION), SettingsFolder(), proxy);
    SearchQuery query;
    query.name = words.toStdString();
    const StationsAnswer answer = client->Search(query, nullptr);
    if (answer.error) {
        std::fprintf(err, "velmora: %s (%s)\n", qPrintable(DirectoryErrorText(answer.error)),
                     answer.error.detail.c_str());
        return 1;
    }
    for (const FoundStation& s : answer.stations)
        std::fprintf(out, "%s\n", FoundStationLine(s).toUtf8().constData());
    return 0;
}

}  // namespace velmora
