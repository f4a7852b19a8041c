// SPDX-License-Identifier: GPL-3.0-or-later
// The last stations played in this run, newest first, each once.
#pragma once

#include <QString>
#include <vector>

namespace velmora {

struct RecentStation {
    QString name;    // as the menu shows it
    int source = 0;  // where it was chosen, in the caller's terms
    int row = -1;
    QString url;
    // The same station: chosen from the same place, at the same address or, without one, the
    // same row; the name may have changed since.
    bool SameAs(const RecentStation& other) const {
        return source == other.source && url == other.url && (!url.isEmpty() || row == other.row);
    }
};

class RecentStations {
  public:
    static constexpr std::size_t kKept = 5;

    // Puts `station` first; an earlier entry for it goes, and the oldest beyond five.
    void Add(const RecentStation& station);
    const std::vector<RecentStation>& Stations() const { return stations_; }

  private:
    std::vector<RecentStation> stations_;
};

}  // namespace velmora
