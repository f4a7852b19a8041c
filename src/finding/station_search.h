// SPDX-License-Identifier: GPL-3.0-or-later
// The windows' way to the station directory: every request runs on a worker thread of its own and
// its answer comes back as a signal on the user-interface thread, which never waits for one. A new
// search cancels the one running at once.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "finder/directory_client.h"

namespace velmora {

class StationSearch final : public QObject {
    Q_OBJECT
  public:
    explicit StationSearch(std::shared_ptr<DirectoryClient> client, QObject* parent = nullptr);
    ~StationSearch() override;

    // Starts a search; an earlier one still running is cancelled and never reported.
    void Search(const SearchQuery& query);
    // The next page of the last search, appended (`more` signal); nothing while one is on its way.
    void More();
    bool HasMore() const { return has_more_; }
    // The countries and tags for the filters (`facetsReady`).
    void LoadFacets();
    // Counts a play of the station at the directory, in the background.
    void Click(const std::string& uuid);
    std::vector<FoundStation> LastResults() const { return client_->LastResults(); }
    void SetProxy(const std::string& proxy) { client_->SetProxy(proxy); }

  signals:
    // `append`: the stations continue the list shown (the next page).
    void found(const std::vector<FoundStation>& stations, bool append);
    void failed(const DirectoryError& error);
    void facetsReady(const std::vector<DirectoryFacet>& countries,
                     const std::vector<DirectoryFacet>& tags);

  private:
    void Run(const SearchQuery& query, bool append);
    struct Alive {
        std::mutex m;  // guards self; held while a delivery is posted
        StationSearch* self = nullptr;
    };
    // Runs `deliver` on the user-interface thread if the object still lives; any thread.
    static void Post(const std::shared_ptr<Alive>& alive,
                     std::function<void(StationSearch*)> deliver);
    std::shared_ptr<Alive> alive_;
    std::shared_ptr<DirectoryClient> client_;
    std::shared_ptr<FetchCancel> cancel_;  // the running search's
    // Cancelled when this object goes: the facets and clicks still on their way end at once.
    std::shared_ptr<FetchCancel> life_ = std::make_shared<FetchCancel>();
    SearchQuery query_;
    bool has_more_ = false;
    bool loading_more_ = false;
    int generation_ = 0;
};

}  // namespace velmora

Q_DECLARE_METATYPE(velmora::DirectoryError)
