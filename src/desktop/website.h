// SPDX-License-Identifier: GPL-3.0-or-later
// The maker's website: the about box and the menu open it, and the updater names it in its agent.
#pragma once

namespace velmora {

// The address, opened by the menu's "Website" item and the about box's link.
inline constexpr const char* kWebsiteUrl = "https://www.kestrin-soft.example/";
// How the about box shows it.
inline constexpr const char* kWebsiteText = "www.kestrin-soft.example";

}  // namespace velmora
