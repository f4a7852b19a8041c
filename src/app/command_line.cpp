// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include <QCommandLineParser>

namespace velmora {

CommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
    const QCommandLineOption find(QStringLiteral("find"), QString());
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(find);
    parser.addPositionalArgument(QStringLiteral("station"), QString());
    CommandLine out;
    if (!parser.parse(arguments)) {
        out.action = CommandLine::Action::Usage;
        out.error = parser.errorText();
        return out;
    }
    if (parser.isSet(help)) {
        out.action = CommandLine::Action::Help;
    } else if (parser.isSet(version)) {
        out.action = CommandLine::Action::Version;
    } else if (parser.isSet(find)) {
        out.find = parser.positionalArguments().join(QLatin1Char(' ')).simplified();
        out.action = out.find.isEmpty() ? CommandLine::Action::Usage : CommandLine::Action::Find;
        if (out.find.isEmpty()) out.error = QStringLiteral("--find needs words to search for");
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
