// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/playlist_bodies.h"

namespace velmora::test {

namespace {

const char* Eol(LineEnd end) {
    return end == LineEnd::CrLf ? "\r\n" : "\n";
}

// URLs may carry '&' in their query; XML needs it escaped.
std::string XmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

std::string PlsBody(const std::vector<std::string>& urls, LineEnd end) {
    const char* eol = Eol(end);
    std::string out = std::string("[playlist]") + eol;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        out += "File" + n + "=" + urls[i] + eol;
        out += "Title" + n + "=Entry " + n + eol;
        out += "Length" + n + "=-1" + eol;
    }
    out += "NumberOfEntries=" + std::to_string(urls.size()) + eol;
    out += std::string("Version=2") + eol;
    return out;
}

std::string M3uBody(const std::vector<std::string>& urls, LineEnd end) {
    const char* eol = Eol(end);
    std::string out = std::string("#EXTM3U") + eol;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        out += "#EXTINF:-1,Entry " + std::to_string(i + 1) + eol;
        out += urls[i] + eol;
    }
    return out;
}

std::string AsxBody(const std::vector<std::string>& urls, LineEnd end) {
    const char* eol = Eol(end);
    std::string out = std::string("<asx version=\"3.0\">") + eol + "  <title>Test</title>" + eol;
    for (const std::string& url : urls)
        out += "  <entry>" + std::string(eol) + "    <ref href=\"" + XmlEscape(url) + "\"/>" + eol +
               "  </entry>" + eol;
    out += std::string("</asx>") + eol;
    return out;
}

std::string XspfBody(const std::vector<std::string>& urls, LineEnd end) {
    const char* eol = Eol(end);
    std::string out = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") + eol +
                      "<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">" + eol +
                      "  <trackList>" + eol;
    for (const std::string& url : urls)
        out += "    <track><location>" + XmlEscape(url) + "</location></track>" + eol;
    out += std::string("  </trackList>") + eol + "</playlist>" + eol;
    return out;
}

}  // namespace velmora::test
