// SPDX-License-Identifier: GPL-3.0-or-later
#include "finder/directory_client.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "finder/directory_servers.h"

namespace velmora {
namespace {

constexpr const char* kServerFile = "StationDirectory.txt";
constexpr auto kFacetsFresh = std::chrono::hours(24);

std::string ReadFile(const std::string& path, std::size_t max_bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string data(max_bytes, '\0');
    in.read(data.data(), static_cast<std::streamsize>(max_bytes));
    data.resize(static_cast<std::size_t>(in.gcount()));
    return data;
}

// Written whole or not at all: a half-written cache would read as a broken answer.
void WriteFile(const std::string& path, std::string_view data) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        if (!out.flush()) return;
    }
    std::filesystem::rename(temporary, path, ec);
}

long long DayOf(std::chrono::system_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::hours>(t.time_since_epoch()).count() / 24;
}

}  // namespace

std::vector<std::string> DirectoryConfig::DiscoverServersNow() {
    return DiscoverServers();
}

DirectoryConfig DefaultDirectoryConfig(const std::string& version, const std::string& state_folder,
                                       const std::string& cache_folder, const std::string& proxy) {
    DirectoryConfig c;
    c.cache_folder = cache_folder;
    c.fetch.user_agent = "Velmora/" + version;
    c.fetch.proxy = proxy;
    const char* base = std::getenv(kDirectoryEnvironment);
    if (base && *base) {
        // A mirror or a test server: asked alone, and not remembered.
        c.servers = {CleanBaseAddress(base)};
    } else {
        c.state_folder = state_folder;
    }
    return c;
}

DirectoryClient::DirectoryClient(DirectoryConfig config)
    : config_(std::move(config)), servers_(config_.servers), proxy_(config_.fetch.proxy) {
    discovered_ = !servers_.empty();
}

void DirectoryClient::SetProxy(const std::string& proxy) {
    std::lock_guard lock(m_);
    proxy_ = proxy;
}

FetchSettings DirectoryClient::Settings() const {
    FetchSettings s = config_.fetch;
    std::lock_guard lock(m_);
    s.proxy = proxy_;
    return s;
}

std::string DirectoryClient::CurrentServer() const {
    std::lock_guard lock(m_);
    return good_;
}

std::string DirectoryClient::CacheFile(const char* name) const {
    return config_.cache_folder.empty() ? std::string() : config_.cache_folder + "/" + name;
}

FetchResult DirectoryClient::Get(const std::string& path, std::size_t max_bytes,
                                 const std::shared_ptr<FetchCancel>& cancel) {
    std::vector<std::string> servers;
    FetchSettings settings = config_.fetch;
    settings.max_bytes = max_bytes;
    {
        std::lock_guard lock(m_);
        settings.proxy = proxy_;
        servers = servers_;
    }
    if (servers.empty()) {
        // Discovery blocks on DNS: outside the lock.
        const std::string file =
            config_.state_folder.empty() ? std::string() : config_.state_folder + "/" + kServerFile;
        servers = PreferServer(config_.discover(),
                               file.empty() ? std::string() : ReadRememberedServer(file));
        std::lock_guard lock(m_);
        if (servers_.empty()) servers_ = servers;
    }
    FetchResult last;
    last.error = {DirectoryFailure::Unreachable, "no directory server was found"};
    for (const std::string& server : servers) {
        if (server.empty()) continue;
        FetchResult r = Fetch(server + path, settings, cancel);
        if (r.error.kind == DirectoryFailure::Cancelled) return r;
        // An answer of the wrong kind from one server (a 404 of a broken mirror) is worth
        // trying the next one for, as much as a server that is down.
        if (r.error) {
            last = std::move(r);
            continue;
        }
        bool changed = false;
        {
            std::lock_guard lock(m_);
            changed = good_ != server;
            good_ = server;
            servers_ = PreferServer(servers_, server);
        }
        if (changed && !config_.state_folder.empty()) {
            RememberServer(config_.state_folder + "/" + kServerFile, server);
        }
        return r;
    }
    return last;
}

StationsAnswer DirectoryClient::GetStations(const std::string& path,
                                            const std::shared_ptr<FetchCancel>& cancel,
                                            std::string* body) {
    FetchResult r = Get(path, config_.fetch.max_bytes, cancel);
    if (r.error) return {{}, r.error};
    StationsAnswer answer = ParseStations(r.body);
    if (body && !answer.error) *body = std::move(r.body);
    return answer;
}

StationsAnswer DirectoryClient::Search(const SearchQuery& query,
                                       const std::shared_ptr<FetchCancel>& cancel) {
    std::string body;
    StationsAnswer answer = GetStations(SearchPath(query), cancel, &body);
    if (!answer.error && query.offset == 0 && !config_.cache_folder.empty()) {
        WriteFile(CacheFile("LastResults.json"), body);
    }
    return answer;
}

std::vector<FoundStation> DirectoryClient::LastResults() const {
    const std::string file = CacheFile("LastResults.json");
    if (file.empty()) return {};
    StationsAnswer a = ParseStations(ReadFile(file, config_.fetch.max_bytes));
    return a.error ? std::vector<FoundStation>() : std::move(a.stations);
}

StationsAnswer DirectoryClient::ByUuid(const std::vector<std::string>& uuids,
                                       const std::shared_ptr<FetchCancel>& cancel) {
    return GetStations(ByUuidPath(uuids), cancel, nullptr);
}

FacetsAnswer DirectoryClient::CachedFacets(const std::string& path, const std::string& file,
                                           const std::shared_ptr<FetchCancel>& cancel) {
    std::error_code ec;
    bool fresh = false;
    if (!file.empty()) {
        const auto written = std::filesystem::last_write_time(file, ec);
        fresh = !ec && std::filesystem::file_time_type::clock::now() - written < kFacetsFresh;
    }
    if (fresh) {
        FacetsAnswer cached = ParseFacets(ReadFile(file, config_.fetch.max_bytes));
        if (!cached.error) return cached;
    }
    FetchResult r = Get(path, config_.fetch.max_bytes, cancel);
    if (!r.error) {
        FacetsAnswer answer = ParseFacets(r.body);
        if (!answer.error && !file.empty()) WriteFile(file, r.body);
        if (!answer.error || file.empty()) return answer;
        r.error = answer.error;
    }
    // Yesterday's list serves better than none.
    if (!file.empty() && r.error.kind != DirectoryFailure::Cancelled) {
        FacetsAnswer stale = ParseFacets(ReadFile(file, config_.fetch.max_bytes));
        if (!stale.error && !stale.facets.empty()) return stale;
    }
    return {{}, r.error};
}

FacetsAnswer DirectoryClient::Countries(const std::shared_ptr<FetchCancel>& cancel) {
    return CachedFacets("/json/countries?order=name&hidebroken=true", CacheFile("Countries.json"),
                        cancel);
}

FacetsAnswer DirectoryClient::Tags(const std::shared_ptr<FetchCancel>& cancel) {
    // The directory knows tens of thousands of tags: the filter offers the common ones.
    return CachedFacets("/json/tags?order=stationcount&reverse=true&hidebroken=true&limit=400",
                        CacheFile("Tags.json"), cancel);
}

bool DirectoryClient::Click(const std::string& uuid, const std::shared_ptr<FetchCancel>& cancel,
                            std::chrono::system_clock::time_point now) {
    if (uuid.empty()) return false;
    const long long today = DayOf(now);
    const std::string file = CacheFile("Clicks.txt");
    // Written under the lock, so two clicks never interleave their files.
    const auto save = [&] {
        if (file.empty()) return;
        std::string text;
        for (const auto& [id, day] : clicked_) text += id + ' ' + std::to_string(day) + '\n';
        WriteFile(file, text);
    };
    {
        std::lock_guard lock(m_);
        if (!clicks_read_ && !file.empty()) {
            std::istringstream in(ReadFile(file, 1 << 20));
            std::string id;
            long long day = 0;
            while (in >> id >> day) clicked_[id] = day;
        }
        clicks_read_ = true;
        // Only today's clicks matter: older ones are forgotten.
        std::erase_if(clicked_, [today](const auto& c) { return c.second != today; });
        if (clicked_.count(uuid)) return false;
        clicked_[uuid] = today;
        save();
    }
    if (!Get(ClickPath(uuid), 64 << 10, cancel).error) return true;
    // Not counted: a later play may try again.
    std::lock_guard lock(m_);
    clicked_.erase(uuid);
    save();
    return false;
}

}  // namespace velmora
