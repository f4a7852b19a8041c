// SPDX-License-Identifier: GPL-3.0-or-later
// Playlist bodies in the four formats radio sites hand out, built from a list of stream URLs.
#pragma once

#include <string>
#include <vector>

namespace velmora::test {

enum class LineEnd { CrLf, Lf };

// [playlist] with File1=..., Title1=..., Length1=-1, NumberOfEntries and Version=2.
std::string PlsBody(const std::vector<std::string>& urls, LineEnd end = LineEnd::CrLf);
// #EXTM3U with an #EXTINF line before each URL.
std::string M3uBody(const std::vector<std::string>& urls, LineEnd end = LineEnd::CrLf);
// <asx version="3.0"> with one <entry><ref href="..."/></entry> per URL.
std::string AsxBody(const std::vector<std::string>& urls, LineEnd end = LineEnd::CrLf);
// XSPF version 1 with one <track><location> per URL.
std::string XspfBody(const std::vector<std::string>& urls, LineEnd end = LineEnd::Lf);

// The Content-Type servers send with each kind.
inline constexpr const char* kPlsType = "audio/x-scpls";
inline constexpr const char* kM3uType = "audio/x-mpegurl";
inline constexpr const char* kAsxType = "video/x-ms-asf";
inline constexpr const char* kXspfType = "application/xspf+xml";

}  // namespace velmora::test
