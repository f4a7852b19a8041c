// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening/recent_stations.h"

#include <algorithm>

namespace velmora {

void RecentStations::Add(const RecentStation& station) {
    std::erase_if(stations_, [&](const RecentStation& s) { return s.SameAs(station); });
    stations_.insert(stations_.begin(), station);
    if (stations_.size() > kKept) stations_.resize(kKept);
}

}  // namespace velmora
