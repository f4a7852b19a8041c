// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include <QCommandLineParser>

#include "recording/headless_recording.h"

namespace velmora {

CommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
    const QCommandLineOption find(QStringLiteral("find"), QString());
    const QCommandLineOption record(QStringLiteral("record"), QString(), QStringLiteral("URL"));
    const QCommandLineOption duration(QStringLiteral("duration"), QString(), QStringLiteral("D"));
    const QCommandLineOption per_song(QStringLiteral("per-song"), QString());
    const QCommandLineOption output(QStringLiteral("output"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption min_song(QStringLiteral("min-song"), QString(), QStringLiteral("S"));
    parser.addOptions({help, version, find, record, duration, per_song, output, min_song});
    parser.addPositionalArgument(QStringLiteral("station"), QString());
    CommandLine out;
    if (!parser.parse(arguments)) {
        out.action = CommandLine::Action::Usage;
        out.error = parser.errorText();
        return out;
    }
    const auto usage = [&out](const QString& error) {
        out.action = CommandLine::Action::Usage;
        out.error = error;
        return out;
    };
    const bool recording = parser.isSet(record);
    for (const QCommandLineOption* option : {&duration, &per_song, &output, &min_song}) {
        if (!recording && parser.isSet(*option))
            return usage(QStringLiteral("--%1 needs --record").arg(option->names().constFirst()));
    }
    if (parser.isSet(help)) {
        out.action = CommandLine::Action::Help;
    } else if (parser.isSet(version)) {
        out.action = CommandLine::Action::Version;
    } else if (parser.isSet(find)) {
        out.find = parser.positionalArguments().join(QLatin1Char(' ')).simplified();
        out.action = out.find.isEmpty() ? CommandLine::Action::Usage : CommandLine::Action::Find;
        if (out.find.isEmpty()) out.error = QStringLiteral("--find needs words to search for");
    } else if (recording) {
        if (!parser.positionalArguments().isEmpty())
            return usage(QStringLiteral("--record takes its station as its own argument"));
        out.action = CommandLine::Action::Record;
        out.station = parser.value(record);
        out.per_song = parser.isSet(per_song);
        out.output = parser.value(output);
        if (parser.isSet(duration)) {
            const std::optional<double> seconds = ParseDurationSeconds(parser.value(duration));
            if (!seconds || *seconds <= 0)
                return usage(QStringLiteral("--duration wants a time such as 90m, 150s or 2h"));
            out.duration_seconds = *seconds;
        }
        if (parser.isSet(min_song)) {
            const std::optional<double> seconds = ParseDurationSeconds(parser.value(min_song));
            if (!seconds) return usage(QStringLiteral("--min-song wants seconds"));
            out.min_song_seconds = *seconds;
        }
    } else if (parser.positionalArguments().size() > 1) {
        out.action = CommandLine::Action::Usage;
        out.error = QStringLiteral("only one station can be given");
    } else if (!parser.positionalArguments().isEmpty()) {
        out.station = parser.positionalArguments().constFirst();
    }
    return out;
}

QString UsageText() {
    return QStringLiteral(
        "Usage: velmora [OPTIONS] [URL|FILE]\n"
        "       velmora --find WORDS\n"
        "Internet radio player.\n"
        "\n"
        "  URL            play this station address (http or https)\n"
        "  FILE           play the first station of a playlist file (.pls, .m3u, .m3u8, .asx,\n"
        "                 .xspf)\n"
        "  --find WORDS   search the community station directory and print the stations found,\n"
        "                 one a line: name, codec and bit rate, country code, address\n"
        "                 (separated by tabs); no window is opened\n"
        "  -h, --help     show this help and exit\n"
        "  -v, --version  show the version and exit\n"
        "\n"
        "Recording without a window (no display or sound device needed):\n"
        "  --record URL          record this station until stopped (Ctrl+C or SIGTERM)\n"
        "  --duration D          stop after D: seconds, or with s, m or h (90m)\n"
        "  --per-song            one file per song, \"Artist - Title\", tagged; the first,\n"
        "                        the last and short songs go to incomplete/\n"
        "  --output DIR          the recordings folder (default: Velmora Recordings in\n"
        "                        the documents folder); each station has its own folder\n"
        "  --min-song SECONDS    shorter songs are incomplete (default 30)\n"
        "Each finished file's path is printed as it is closed.\n"
        "\n"
        "When a player is already running, it plays the station given (or only shows its\n"
        "window), and this start ends.\n"
        "\n"
        "Keys in the window:\n"
        "  Tab, Shift+Tab    move between the controls; Space or Enter presses a button\n"
        "  Space             play or stop (outside text fields, buttons and lists)\n"
        "  Enter             in your channel list: play the channel the keyboard is on\n"
        "  Ctrl+F            find stations in the community directory\n"
        "  Ctrl+R            start or stop recording\n"
        "  Ctrl+Up/Down      volume up or down\n"
        "  Ctrl+Q            close, as the window's close box does\n");
}

QString VersionText() {
    return QStringLiteral("velmora %1\n").arg(QLatin1String(VELMORA_VERSION));
}

}  // namespace velmora
