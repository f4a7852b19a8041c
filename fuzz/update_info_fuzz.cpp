// SPDX-License-Identifier: GPL-3.0-or-later
// The update information file as the update server sends it, and the version rules over what it
// gives: values are always pieces of the body, and the rules never fail whatever the text.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "update/update_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const velmora::UpdateInfo info = velmora::ParseUpdateInfo(body);
    for (const std::string* value : {&info.version, &info.date, &info.served, &info.caption,
                                     &info.redirect, &info.url, &info.sha256, &info.signature}) {
        FUZZ_CHECK(value->size() <= body.size());
    }
    FUZZ_CHECK(info.message.size() <= body.size());
    FUZZ_CHECK(!info.is_info_file || body.front() == '#');

    const std::string key = velmora::DateSortKey(info.date);
    FUZZ_CHECK(key.size() <= info.date.size());
    velmora::IsNewerVersion(velmora::VersionControl::ByDate, info, "2.4.5.1", "11/20/2026");
    const bool newer =
        velmora::IsNewerVersion(velmora::VersionControl::ByNumber, info, info.version, "");
    FUZZ_CHECK(!newer);  // a version never differs from itself
    // A signed verdict needs a signature; this key signed nothing the fuzzer can find.
    const velmora::UpdateVerdict verdict = velmora::JudgeUpdate(
        info, velmora::VersionControl::ByNumber, "2451", "", std::string(32, '\x01'));
    FUZZ_CHECK(verdict != velmora::UpdateVerdict::Offer || velmora::IsRedirect(info));
    FUZZ_CHECK(velmora::BoundedText(info.message, 20, 1500).size() <= 1500 * 4 + 3);
    velmora::UsersServed(info.served);
    velmora::IsRedirect(info);
    velmora::ParseContentLength(body);
    return 0;
}
