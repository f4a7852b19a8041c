// SPDX-License-Identifier: GPL-3.0-or-later
// The community station directory: searches, the filters' countries and tags (kept a day on
// disk), stations by their ids, and the click a listener's play counts as. Every call blocks on
// the network and is made from a worker thread; one client may serve several threads at once.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "finder/directory_fetch.h"
#include "finder/found_station.h"
#include "finder/search_query.h"

namespace velmora {

struct DirectoryConfig {
    // Servers to ask, in order (a base address each); empty: discovered on first use.
    std::vector<std::string> servers;
    // The settings folder, where the last server that answered is remembered; empty: not kept.
    std::string state_folder;
    // Where countries, tags, the last results and the day's clicks are kept; empty: nowhere.
    std::string cache_folder;
    FetchSettings fetch;
    std::function<std::vector<std::string>()> discover = [] { return DiscoverServersNow(); };
    static std::vector<std::string> DiscoverServersNow();
};

// The configuration a user's program runs with: `VELMORA_STATION_DIRECTORY` when set (then no
// discovery and nothing remembered), the given folders, the program's user agent.
DirectoryConfig DefaultDirectoryConfig(const std::string& version, const std::string& state_folder,
                                       const std::string& cache_folder, const std::string& proxy);

class DirectoryClient {
  public:
    explicit DirectoryClient(DirectoryConfig config);

    // One page of stations. A first page that arrives whole is kept as the last results.
    StationsAnswer Search(const SearchQuery& query, const std::shared_ptr<FetchCancel>& cancel);
    StationsAnswer ByUuid(const std::vector<std::string>& uuids,
                          const std::shared_ptr<FetchCancel>& cancel);
    // From the disk when fetched within the last day; an older copy when the directory fails.
    FacetsAnswer Countries(const std::shared_ptr<FetchCancel>& cancel);
    FacetsAnswer Tags(const std::shared_ptr<FetchCancel>& cancel);
    // Counts a play of `uuid` at the directory, once per station and day; true when it was sent
    // and the directory took it.
    bool Click(const std::string& uuid, const std::shared_ptr<FetchCancel>& cancel = nullptr,
               std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

    // The stations of the last first page that arrived whole (empty when none is kept).
    std::vector<FoundStation> LastResults() const;
    // The server that answered last; empty before any did.
    std::string CurrentServer() const;
    void SetProxy(const std::string& proxy);
    // The transfer settings of this client (user agent, proxy), for fetches of its own kind.
    FetchSettings Settings() const;

  private:
    FetchResult Get(const std::string& path, std::size_t max_bytes,
                    const std::shared_ptr<FetchCancel>& cancel);
    StationsAnswer GetStations(const std::string& path, const std::shared_ptr<FetchCancel>& cancel,
                               std::string* body);
    FacetsAnswer CachedFacets(const std::string& path, const std::string& file,
                              const std::shared_ptr<FetchCancel>& cancel);
    std::string CacheFile(const char* name) const;

    const DirectoryConfig config_;
    // --- protected by m_
    mutable std::mutex m_;
    std::vector<std::string> servers_;
    bool discovered_ = false;
    std::string good_;
    std::string proxy_;
    std::map<std::string, long long> clicked_;  // station id -> day it was counted
    bool clicks_read_ = false;
};

}  // namespace velmora
