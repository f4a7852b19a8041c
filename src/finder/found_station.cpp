// SPDX-License-Identifier: GPL-3.0-or-later
#include "finder/found_station.h"

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <variant>

#include "base/web_scheme.h"

namespace velmora {
namespace {

// A list or object inside a record: none of the fields we read may be one.
struct Nested {};
using Scalar = std::variant<std::nullptr_t, bool, std::int64_t, double, std::string, Nested>;
using Record = std::vector<std::pair<std::string, Scalar>>;

// Reads a JSON array of flat objects without building a document: memory stays near the size of
// the records kept. Values nested inside a record are skipped; deeper nesting than the records'
// own is refused, as is anything but an array of objects at the top.
class RecordReader final : public nlohmann::json_sax<nlohmann::json> {
  public:
    RecordReader(std::size_t max_records, std::size_t max_string)
        : max_records_(max_records), max_string_(max_string) {}

    std::vector<Record> records;
    std::string error;
    bool full = false;  // stopped on purpose after max_records

    bool null() override { return Value(nullptr); }
    bool boolean(bool v) override { return Value(v); }
    bool number_integer(number_integer_t v) override { return Value(std::int64_t{v}); }
    bool number_unsigned(number_unsigned_t v) override {
        return Value(v > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX
                                                               : static_cast<std::int64_t>(v));
    }
    bool number_float(number_float_t v, const string_t&) override { return Value(v); }
    bool string(string_t& v) override {
        if (v.size() > max_string_) v.resize(max_string_ + 1);  // still "too long" later
        return Value(std::move(v));
    }
    bool binary(binary_t&) override { return Fail("unexpected binary value"); }
    bool start_object(std::size_t) override {
        if (depth_ == 1 && skip_ == 0) {
            if (records.size() >= max_records_) {
                full = true;
                return false;
            }
            records.emplace_back();
            ++depth_;
            return true;
        }
        return Open();
    }
    bool key(string_t& k) override {
        if (skip_ == 0) key_ = std::move(k);
        return true;
    }
    bool end_object() override { return Close(); }
    bool start_array(std::size_t) override {
        if (depth_ == 0) {
            ++depth_;
            return true;
        }
        return Open();
    }
    bool end_array() override { return Close(); }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception&) override {
        if (error.empty()) error = "not valid JSON at byte " + std::to_string(position);
        return false;
    }

  private:
    bool Fail(const char* why) {
        if (error.empty()) error = why;
        return false;
    }
    bool Value(Scalar v) {
        if (skip_ > 0) return true;
        if (depth_ == 0) return Fail("the answer is not a list");
        if (depth_ == 1) return Fail("a list entry is not a record");
        records.back().emplace_back(std::move(key_), std::move(v));
        return true;
    }
    // A value nested inside a record: skipped, within a small depth.
    bool Open() {
        if (depth_ == 0) return Fail("the answer is not a list");
        if (depth_ == 1) return Fail("a list entry is not a record");
        if (skip_ == 0) records.back().emplace_back(std::move(key_), Nested{});
        if (++skip_ > 8) return Fail("values nested too deeply");
        return true;
    }
    bool Close() {
        if (skip_ > 0) {
            --skip_;
        } else {
            --depth_;
        }
        return true;
    }

    std::size_t max_records_;
    std::size_t max_string_;
    int depth_ = 0;  // 1 inside the list, 2 inside a record
    int skip_ = 0;   // depth inside a skipped nested value
    std::string key_;
};

DirectoryError Malformed(std::string detail) {
    return {DirectoryFailure::Malformed, std::move(detail)};
}

// Reads `json` into records; an error names what was wrong.
DirectoryError ReadRecords(std::string_view json, std::size_t max_records, std::size_t max_string,
                           std::vector<Record>& out) {
    RecordReader reader(max_records, max_string);
    const bool done = nlohmann::json::sax_parse(json.begin(), json.end(), &reader);
    if (!done && !reader.full) {
        return Malformed(reader.error.empty() ? "not valid JSON" : reader.error);
    }
    out = std::move(reader.records);
    return {};
}

// The typed fields of one record. The first wrong type is kept as the error.
class Fields {
  public:
    explicit Fields(const Record& r) : r_(r) {}
    std::string error;

    const Scalar* Find(std::string_view key) const {
        for (const auto& [k, v] : r_)
            if (k == key) return &v;
        return nullptr;
    }
    // A text; null or absent is empty. Too long: cut (`cut`) or dropped.
    std::string Text(std::string_view key, std::size_t limit, bool cut) {
        const Scalar* v = Find(key);
        if (!v || std::holds_alternative<std::nullptr_t>(*v)) return {};
        const auto* s = std::get_if<std::string>(v);
        if (!s) return Wrong(key), std::string();
        if (s->size() <= limit) return *s;
        return cut ? CutUtf8(*s, limit) : std::string();
    }
    std::string Address(std::string_view key, std::size_t limit) {
        std::string a = Text(key, limit, false);
        return IsHttpUrl(a) ? a : std::string();
    }
    long long Number(std::string_view key) {
        const Scalar* v = Find(key);
        if (!v || std::holds_alternative<std::nullptr_t>(*v)) return 0;
        if (const auto* i = std::get_if<std::int64_t>(v)) return *i;
        if (const auto* d = std::get_if<double>(v)) {
            if (*d > -1e15 && *d < 1e15) return static_cast<long long>(*d);
        }
        return Wrong(key), 0;
    }
    // The directory writes its flags as 0/1; true and false are taken too.
    bool Flag(std::string_view key, bool absent) {
        const Scalar* v = Find(key);
        if (!v || std::holds_alternative<std::nullptr_t>(*v)) return absent;
        if (const auto* b = std::get_if<bool>(v)) return *b;
        if (const auto* i = std::get_if<std::int64_t>(v)) return *i != 0;
        return Wrong(key), absent;
    }

  private:
    void Wrong(std::string_view key) {
        if (error.empty()) error = "the field \"" + std::string(key) + "\" has the wrong type";
    }
    const Record& r_;
};

}  // namespace

std::string CutUtf8(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) return std::string(text);
    std::size_t end = bytes;
    // Back to the start of the sequence the cut falls into.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}

StationsAnswer ParseStations(std::string_view json, const StationLimits& limits) {
    StationsAnswer out;
    std::vector<Record> records;
    out.error = ReadRecords(json, limits.max_records, std::max(limits.max_text, limits.max_address),
                            records);
    if (out.error) return out;
    out.stations.reserve(records.size());
    for (const Record& r : records) {
        Fields f(r);
        FoundStation s;
        s.uuid = f.Text("stationuuid", 64, false);
        s.name = f.Text("name", limits.max_text, true);
        s.url = f.Address("url", limits.max_address);
        s.url_resolved = f.Address("url_resolved", limits.max_address);
        s.homepage = f.Address("homepage", limits.max_address);
        s.favicon = f.Address("favicon", limits.max_address);
        s.tags = f.Text("tags", limits.max_text, true);
        s.countrycode = f.Text("countrycode", 8, false);
        s.language = f.Text("language", limits.max_text, true);
        s.codec = f.Text("codec", 32, true);
        s.bitrate = static_cast<int>(std::clamp<long long>(f.Number("bitrate"), 0, 100000));
        s.hls = f.Flag("hls", false);
        s.last_check_ok = f.Flag("lastcheckok", true);
        s.votes = f.Number("votes");
        s.clickcount = f.Number("clickcount");
        if (!f.error.empty()) {
            out.stations.clear();
            out.error = Malformed(f.error);
            return out;
        }
        if (!s.PlayAddress().empty()) out.stations.push_back(std::move(s));
    }
    return out;
}

FacetsAnswer ParseFacets(std::string_view json, const StationLimits& limits) {
    FacetsAnswer out;
    std::vector<Record> records;
    // Tags run to tens of thousands: the filters keep the ones with most stations.
    out.error = ReadRecords(json, 20000, limits.max_text, records);
    if (out.error) return out;
    for (const Record& r : records) {
        Fields f(r);
        DirectoryFacet d{f.Text("name", limits.max_text, true), f.Text("iso_3166_1", 8, false),
                         f.Number("stationcount")};
        if (!f.error.empty()) {
            out.facets.clear();
            out.error = Malformed(f.error);
            return out;
        }
        if (!d.name.empty()) out.facets.push_back(std::move(d));
    }
    return out;
}

}  // namespace velmora
