// SPDX-License-Identifier: GPL-3.0-or-later
// The one rule for which addresses are web addresses: station entries, update pages, pages a
// channel links to and HLS segments are all fetched over http or https only.
#pragma once

#include <string_view>

namespace velmora {

// "http" or "https", in any case.
bool IsHttpScheme(std::string_view scheme);
// `url` begins with "http://" or "https://", in any case.
bool IsHttpUrl(std::string_view url);

}  // namespace velmora
