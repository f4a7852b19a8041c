// SPDX-License-Identifier: GPL-3.0-or-later
#include "channels/directory.h"

#include "i18n/message.h"

namespace velmora {
namespace {

constexpr std::string_view kNoPrograms{};
constexpr std::string_view kNoFixed{};

// One broadcaster's several bit rates are rows of their own, named " - <rate>". Rows whose stream
// is a Windows Media playlist carry their own now-playing texts, since such streams announce none.
constexpr std::array<DirectoryRow, kDirectoryRowCount> kRows{{
    // 0
    {Translatable("-----------------Russian--------------------------"), {}, {}, {}, {}, {}},
    // 1
    {"Radio Rossii", "http://www.radiorus.ru/live/radiorus.m3u", "https://www.radiorus.ru",
     "https://www.radiorus.ru/schedule", kNoFixed, kNoFixed},
    // 2
    {"Radio Mayak", "http://www.radiomayak.ru/live/mayak.asx", "https://www.radiomayak.ru",
     "https://www.radiomayak.ru/schedule", "Mayak - Russian", "Bitrate: 20 kbps"},
    // 3
    {"Radio Kultura", "http://www.cultradio.ru/live/kultura.pls", "https://cultradio.ru",
     kNoPrograms, kNoFixed, kNoFixed},
    // 4
    {"Vesti FM", "http://www.radiovesti.ru/live/vestifm.m3u", "https://radiovesti.ru",
     "https://radiovesti.ru/schedule", kNoFixed, kNoFixed},
    // 5
    {"Radio Orfey - Music 56", "http://www.muzcentrum.ru/live/orfey56.m3u",
     "https://www.muzcentrum.ru/orfeyfm", "https://www.muzcentrum.ru/orfeyfm/schedule", kNoFixed,
     kNoFixed},
    // 6
    {"Radio Orfey - Music 64", "http://www.muzcentrum.ru/live/orfey64.m3u",
     "https://www.muzcentrum.ru/orfeyfm", "https://www.muzcentrum.ru/orfeyfm/schedule", kNoFixed,
     kNoFixed},
    // 7
    {"Radio Zvezda", "http://radiozvezda.ru/live/zvezda.pls", "https://radiozvezda.ru", kNoPrograms,
     kNoFixed, kNoFixed},
    // 8
    {"Radio Svoboda - 20", "http://www.svoboda.org/live/svoboda20.asx", "https://www.svoboda.org",
     "https://www.svoboda.org/programs", "Radio Svoboda - Russian", "Bitrate: 20 kbps"},
    // 9
    {"Radio Svoboda - 96", "http://www.svoboda.org/live/svoboda96.asx", "https://www.svoboda.org",
     "https://www.svoboda.org/programs", "Radio Svoboda - Russian", "Bitrate: 96 kbps"},
    // 10
    {"Radio Yunost - 24", "http://www.radiounost.ru/live/unost24.m3u", "https://www.radiounost.ru",
     "https://www.radiounost.ru/schedule", kNoFixed, kNoFixed},
    // 11
    {"Radio Yunost - 128", "http://www.radiounost.ru/live/unost128.m3u",
     "https://www.radiounost.ru", "https://www.radiounost.ru/schedule", kNoFixed, kNoFixed},
    // 12
    {Translatable("-----------------German--------------------------"), {}, {}, {}, {}, {}},
    // 13
    {"Deutschlandfunk", "http://www.deutschlandfunk.de/live/dlf.asx",
     "https://www.deutschlandfunk.de", "https://www.deutschlandfunk.de/programm",
     "Deutschlandfunk - German", "Bitrate: 20 kbps"},
    // 14
    {"Deutschlandfunk Kultur", "http://st02.dlf.de/dlf/02/128/mp3/stream.mp3.m3u",
     "https://www.deutschlandfunkkultur.de", "https://www.deutschlandfunkkultur.de/programm",
     kNoFixed, kNoFixed},
    // 15
    {"Bayern 2", "http://streams.br.de/bayern2sued_2.m3u", "https://www.br.de/radio/bayern2",
     "https://www.br.de/radio/bayern2/programmkalender", kNoFixed, kNoFixed},
    // 16
    {"SWR2 - 40", "http://mp3-live.swr.de/swr2_s.m3u", "https://www.swr.de/swr2",
     "https://www.swr.de/swr2/programm", kNoFixed, kNoFixed},
    // 17
    {"SWR2 - 96", "http://mp3-live.swr.de/swr2_m.m3u", "https://www.swr.de/swr2",
     "https://www.swr.de/swr2/programm", kNoFixed, kNoFixed},
    // 18
    {Translatable("-----------------English---------------------------"), {}, {}, {}, {}, {}},
    // 19
    {"BBC World Service", "http://www.bbc.co.uk/worldservice/meta/live/nb/eieuk_au_nb.asx",
     "https://www.bbc.co.uk/worldserviceradio", "https://www.bbc.co.uk/schedules/p02zbmb3",
     "BBC World Service - English", "Bitrate: 20 kbps"},
    // 20
    {"Voice of America", "http://www.voanews.com/wm/live/voa_english.asx",
     "https://www.voanews.com", "https://www.voanews.com/programs", "VOA - English",
     "Bitrate: 20 kbps"},
    // 21
    {"RNZ National", "http://www.radionz.co.nz/audio/live/national.pls", "https://www.rnz.co.nz",
     kNoPrograms, kNoFixed, kNoFixed},
    // 22
    {"ABC Radio National", "http://www.abc.net.au/res/streaming/audio/mp3/radio_national.pls",
     "https://www.abc.net.au/listen", kNoPrograms, kNoFixed, kNoFixed},
    // 23
    {Translatable("-----------------Other languages------------"), {}, {}, {}, {}, {}},
    // 24
    {"Radio Swiss Classic", "http://www.radioswissclassic.ch/live/mp3.m3u",
     "https://www.radioswissclassic.ch", kNoPrograms, kNoFixed, kNoFixed},
    // 25
    {"Radio Swiss Jazz", "http://www.radioswissjazz.ch/live/mp3.m3u",
     "https://www.radioswissjazz.ch", kNoPrograms, kNoFixed, kNoFixed},
    // 26
    {"RFI - 20", "http://www.rfi.fr/live/rfi20.asx", "https://www.rfi.fr",
     "https://www.rfi.fr/fr/programmes", "RFI - French", "Bitrate: 20 kbps"},
    // 27
    {"RFI - 96", "http://www.rfi.fr/live/rfi96.asx", "https://www.rfi.fr",
     "https://www.rfi.fr/fr/programmes", "RFI - French", "Bitrate: 96 kbps"},
    // 28
    {"Polskie Radio Dwojka - 32", "http://stream3.polskieradio.pl:8950",
     "https://www.polskieradio.pl/8,Dwojka", "https://www.polskieradio.pl/8,Dwojka/ramowka",
     kNoFixed, kNoFixed},
    // 29
    {"Polskie Radio Dwojka - 64", "http://stream3.polskieradio.pl:8952",
     "https://www.polskieradio.pl/8,Dwojka", "https://www.polskieradio.pl/8,Dwojka/ramowka",
     kNoFixed, kNoFixed},
    // 30
    {"Polskie Radio Dwojka - 128", "http://stream3.polskieradio.pl:8954",
     "https://www.polskieradio.pl/8,Dwojka", "https://www.polskieradio.pl/8,Dwojka/ramowka",
     kNoFixed, kNoFixed},
    // 31
    {"Vatican Radio - Italian", "http://www.vaticannews.va/live/radiovaticana.asx",
     "https://www.vaticannews.va", "https://www.vaticannews.va/it/palinsesto.html",
     "Vatican Radio - Italian", "Bitrate: 20 kbps"},
    // 32
    {"Vatican Radio - Latin", "http://www.vaticannews.va/live/radiovaticana.asx",
     "https://www.vaticannews.va", "https://www.vaticannews.va/la/palinsesto.html",
     "Vatican Radio - Italian", "Bitrate: 20 kbps"},
    // 33
    {"RNE Radio Nacional", "http://www.rtve.es/live/rne1.asx", "https://www.rtve.es/radio",
     "https://www.rtve.es/radio/radio-nacional/programacion", "RNE - Spanish", "Bitrate: 20 kbps"},
    // 34
    {"Rai Radio 3", "http://www.radio.rai.it/live/radio3.asx", "https://www.raiplaysound.it/radio3",
     "https://www.raiplaysound.it/palinsesto/radio3", "Rai Radio 3 - Italian", "Bitrate: 20 kbps"},
    // 35
    {"Sveriges Radio P1", "http://sverigesradio.se/live/p1.asx", "https://sverigesradio.se/p1",
     "https://sverigesradio.se/tabla.aspx?programid=132", "SR P1 - Swedish", "Bitrate: 20 kbps"},
    // 36
    {"Yle Radio Suomi", "http://www.yle.fi/live/radiosuomi.asx", "https://yle.fi/radiosuomi",
     "https://areena.yle.fi/podcastit/opas", "Yle Radio Suomi - Finnish", "Bitrate: 20 kbps"},
}};

bool InRange(int row) {
    return row >= 0 && row < kDirectoryRowCount;
}

}  // namespace

const std::array<DirectoryRow, kDirectoryRowCount>& DirectoryRows() {
    return kRows;
}

bool IsDirectoryHeaderRow(int row) {
    return row == 0 || row == 12 || row == 18 || row == 23;
}

bool IsDirectoryStationRow(int row) {
    return InRange(row) && !IsDirectoryHeaderRow(row);
}

std::string_view DirectoryUrl(int row) {
    return InRange(row) ? kRows[row].playlist : "";
}

bool DirectoryRowLacksPrograms(int row) {
    return row == 3 || row == 7 || row == 21 || row == 22 || row == 24 || row == 25;
}

}  // namespace velmora
