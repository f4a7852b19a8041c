// SPDX-License-Identifier: GPL-3.0-or-later
#include "finding/station_search.h"

#include <QMetaObject>

#include "base/thread_start.h"

namespace velmora {

StationSearch::StationSearch(std::shared_ptr<DirectoryClient> client, QObject* parent)
    : QObject(parent), alive_(std::make_shared<Alive>()), client_(std::move(client)) {
    alive_->self = this;
}

StationSearch::~StationSearch() {
    if (cancel_) cancel_->Cancel();
    life_->Cancel();
    std::lock_guard lock(alive_->m);
    alive_->self = nullptr;
}

void StationSearch::Post(const std::shared_ptr<Alive>& alive,
                         std::function<void(StationSearch*)> deliver) {
    // Under the lock the object cannot go away; once posted, a deleted object's call is dropped.
    std::lock_guard lock(alive->m);
    if (!alive->self) return;
    StationSearch* self = alive->self;
    QMetaObject::invokeMethod(
        self, [self, deliver = std::move(deliver)] { deliver(self); }, Qt::QueuedConnection);
}

void StationSearch::Search(const SearchQuery& query) {
    query_ = query;
    query_.offset = 0;
    Run(query_, false);
}

void StationSearch::More() {
    if (!has_more_ || loading_more_) return;
    loading_more_ = true;
    query_.offset += query_.limit;
    Run(query_, true);
}

void StationSearch::Run(const SearchQuery& query, bool append) {
    if (cancel_ && !append) cancel_->Cancel();
    if (!append) {
        cancel_ = std::make_shared<FetchCancel>();
        loading_more_ = false;
    }
    const int generation = append ? generation_ : ++generation_;
    auto cancel = cancel_;
    auto client = client_;
    StartThread(
        [alive = alive_, client, cancel, query, append, generation] {
            StationsAnswer answer = client->Search(query, cancel);
            if (answer.error.kind == DirectoryFailure::Cancelled) return;
            Post(alive, [answer = std::move(answer), append, generation,
                         limit = query.limit](StationSearch* s) {
                if (generation != s->generation_) return;  // a newer search replaced it
                if (append) s->loading_more_ = false;
                if (answer.error) {
                    s->has_more_ = false;
                    emit s->failed(answer.error);
                    return;
                }
                s->has_more_ = static_cast<int>(answer.stations.size()) >= limit;
                emit s->found(answer.stations, append);
            });
        },
        [] {})
        .detach();
}

void StationSearch::LoadFacets() {
    auto client = client_;
    StartThread(
        [alive = alive_, client, life = life_] {
            auto countries = client->Countries(life);
            auto tags = client->Tags(life);
            Post(alive, [countries = std::move(countries.facets), tags = std::move(tags.facets)](
                            StationSearch* s) { emit s->facetsReady(countries, tags); });
        },
        [] {})
        .detach();
}

void StationSearch::Click(const std::string& uuid) {
    auto client = client_;
    StartThread([client, uuid, life = life_] { client->Click(uuid, life); }, [] {}).detach();
}

}  // namespace velmora
