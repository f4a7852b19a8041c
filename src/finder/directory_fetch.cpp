// SPDX-License-Identifier: GPL-3.0-or-later
#include "finder/directory_fetch.h"

#include <curl/curl.h>

#include "base/proxy_address.h"

#include <algorithm>

namespace velmora {
namespace {

struct Sink {
    std::string* body;
    std::size_t max;
    bool too_large = false;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const std::size_t n = size * count;
    if (sink->body->size() + n > sink->max) {
        sink->too_large = true;
        return 0;  // ends the transfer with a write error
    }
    sink->body->append(data, n);
    return n;
}

void SetProxy(CURL* easy, const std::string& text) {
    const std::optional<ProxyAddress> proxy = ParseProxyAddress(text);
    if (!proxy) {
        // Direct means direct: no proxy from the environment either.
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
        return;
    }
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy->host_port.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
    if (!proxy->user.empty()) {
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxy->user.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxy->password.c_str());
    }
}

}  // namespace

void FetchCancel::Cancel() {
    std::lock_guard lock(m_);
    if (cancelled_.exchange(true, std::memory_order_acq_rel)) return;
    for (void* multi : multis_) curl_multi_wakeup(static_cast<CURLM*>(multi));
}

bool FetchCancel::Attach(void* multi) {
    std::lock_guard lock(m_);
    if (cancelled()) return false;
    multis_.push_back(multi);
    return true;
}

void FetchCancel::Detach(void* multi) {
    std::lock_guard lock(m_);
    multis_.erase(std::remove(multis_.begin(), multis_.end(), multi), multis_.end());
}

FetchResult Fetch(const std::string& url, const FetchSettings& settings,
                  const std::shared_ptr<FetchCancel>& cancel) {
    FetchResult out;
    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    struct Handles {
        CURL* easy;
        CURLM* multi;
        ~Handles() {
            if (multi && easy) curl_multi_remove_handle(multi, easy);
            if (easy) curl_easy_cleanup(easy);
            if (multi) curl_multi_cleanup(multi);
        }
    } handles{easy, multi};
    if (!easy || !multi) {
        out.error = {DirectoryFailure::Unreachable, "out of memory"};
        return out;
    }
    Sink sink{&out.body, settings.max_bytes};
    // Only web addresses, also where a redirect points: a stranger's server must not send us to
    // file:// or other protocols.
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_USERAGENT, settings.user_agent.c_str());
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, settings.connect_timeout_ms);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, settings.total_timeout_ms);
    // A stated length beyond the bound is refused before any of it is read.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(settings.max_bytes));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &sink);
    SetProxy(easy, settings.proxy);
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        handles.easy = nullptr;
        curl_easy_cleanup(easy);
        out.error = {DirectoryFailure::Unreachable, "out of memory"};
        return out;
    }
    if (cancel && !cancel->Attach(multi)) {
        out.error = {DirectoryFailure::Cancelled, "cancelled"};
        return out;
    }
    int running = 1;
    while (running && !(cancel && cancel->cancelled())) {
        if (curl_multi_perform(multi, &running) != CURLM_OK || !running) break;
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    if (cancel) cancel->Detach(multi);
    if (cancel && cancel->cancelled()) {
        out.body.clear();
        out.error = {DirectoryFailure::Cancelled, "cancelled"};
        return out;
    }
    CURLcode rc = CURLE_OK;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left))
        if (msg->msg == CURLMSG_DONE) rc = msg->data.result;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &out.status);
    if (sink.too_large || rc == CURLE_FILESIZE_EXCEEDED) {
        out.body.clear();
        out.body.shrink_to_fit();
        out.error = {
            DirectoryFailure::TooLarge,
            "the answer is larger than " + std::to_string(settings.max_bytes >> 20) + " MB"};
    } else if (rc != CURLE_OK) {
        out.body.clear();
        out.error = {DirectoryFailure::Unreachable, curl_easy_strerror(rc)};
    } else if (out.status < 200 || out.status > 299) {
        out.error = {DirectoryFailure::BadStatus,
                     "the server answered with HTTP status " + std::to_string(out.status)};
    }
    return out;
}

}  // namespace velmora
