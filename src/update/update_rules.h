// SPDX-License-Identifier: GPL-3.0-or-later
// The update's rules as plain functions: the information file's keywords, the version rules, the
// progress percentage, the update address, the browser command reduction and the checks a
// downloaded program must pass. Bytes in, values out; nothing here touches the network or a window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// --- the update information file

// The value of `keyword` in `text`: the keyword is found case-insensitively at its first
// occurrence; the value runs from after it, case kept and untrimmed, to `terminator`. With '\r'
// as terminator the value ends at the earlier of the first CR and the first LF. Empty when the
// keyword is missing or no terminator follows it.
std::string InfoValue(std::string_view keyword, std::string_view text, char terminator);

// Every keyword's value, as the file gives them (see InfoValue).
struct UpdateInfo {
    bool is_info_file = false;  // the body begins with "#"
    std::string version;        // "#version="
    std::string date;           // "#date=", MM/DD/YYYY
    std::string served;         // "#served="
    std::string caption;        // "#caption="
    std::string message;        // "#message=[" up to "]", may span lines
    std::string redirect;       // "#redirect="
    std::string url;            // "#url="
    std::string sha256;         // "#sha256=": lower-case hex digest of the program file
    std::string signature;      // "#signature=": base64 of the release key's Ed25519 signature
};

// Reads an information file body. Never fails: missing keywords give empty values.
UpdateInfo ParseUpdateInfo(std::string_view body);

enum class VersionControl { ByDate = 0, ByNumber = 1 };

// A MM/DD/YYYY text as year, month and day joined without added zeros ("1/5/2010" gives
// "201015"); a text without two "/" gives an empty key, which is never later than another.
std::string DateSortKey(std::string_view date);

// ByNumber: the file's version is a higher version number than ours (see CompareVersions).
// ByDate: the file's date key is greater than ours, compared as text.
bool IsNewerVersion(VersionControl control, const UpdateInfo& info, std::string_view version_number,
                    std::string_view version_date);

// Compares two version numbers of dot-separated whole numbers ("2451", "2.4.10"; missing parts
// count as 0; blanks around ignored): negative, zero or positive as `a` is lower, equal or higher;
// nullopt when either is not such a number.
std::optional<int> CompareVersions(std::string_view a, std::string_view b);

// What a check makes of an information file, in the order the rules are applied.
enum class UpdateVerdict {
    Offer,          // a newer version, signed when it is a download: ask the user
    NoUpdate,       // not an information file, or nothing newer
    NoVersion,      // "#version=" missing or not a version number
    Older,          // a version older than the running one: never offered
    NotWebAddress,  // "#url=" is not an http(s) address
    Unsigned,       // a download without "#sha256=" or "#signature="
    BadSignature,   // the signature does not verify with the release key
};

// The verdict on `info` for the program of `version_number`/`version_date`; downloads must be
// signed by `release_key` (32 raw bytes) over SignedStatement(version, sha256).
UpdateVerdict JudgeUpdate(const UpdateInfo& info, VersionControl control,
                          std::string_view version_number, std::string_view version_date,
                          std::string_view release_key);

// True for an absolute http:// or https:// address with a host.
bool IsWebAddress(std::string_view url);

// `text` (UTF-8) cut to at most `max_lines` lines and `max_chars` characters, with "..." where it
// was cut, so that a box shows it whole on any screen.
std::string BoundedText(std::string_view text, std::size_t max_lines, std::size_t max_chars);

// "#served=" as a decimal integer; -1 when empty, absent or not a whole 32-bit number.
int UsersServed(std::string_view served);

// True when "#redirect=" asks for the web page instead of a download ("yes" in any case).
bool IsRedirect(const UpdateInfo& info);

// --- transfers

// `read` as a share of `total` in per cent, rounded to the nearest whole number with halves going
// to the even neighbour; 0 when total is not positive.
int ReadPercents(std::int64_t read, std::int64_t total);

// A Content-Length header value as a whole number of bytes; -1 when it is not one.
std::int64_t ParseContentLength(std::string_view value);

// The text after the last "/" of an address (the whole address when it has none).
std::string UrlFileName(std::string_view url);

// --- where updates come from

// The update host used when VELMORA_UPDATE_HOST is not set: a reserved name until the project has
// a host of its own.
inline constexpr const char* kDefaultUpdateHost = "update.velmora.example";
// VELMORA_UPDATE_HOST ("host" or "host:port") when set and not empty, else kDefaultUpdateHost.
std::string UpdateHost();
// "http://" + UpdateHost() + the language's path; empty without a path.
std::string InfoFileUrl(std::string_view language_path);
// True when `host` ("host" or "host:port", bracketed IPv6 allowed) names this machine by a
// loopback name or address: it is reachable whatever the network interfaces say.
bool IsLoopbackHost(std::string_view host);

// --- the browser

// The program part of a registered open command: a quoted program path keeps what is inside the
// quotes; a quoted parameter is removed with the blank before it; an unquoted command is cut at
// the first blank (when it holds no "\" or ":"), else at " -", " /", " \", "," or " %". Trimmed.
std::string ReduceCommand(std::string_view command);

// --- checks on a downloaded program

// True when `candidate` begins with an ELF header of the same class, byte order and machine as
// `own` (the running program's first bytes) and is an executable or a position-independent one.
bool SameExecutableKind(std::string_view candidate, std::string_view own);
// True when `hex` (surrounding blanks ignored, either case) is the SHA-256 digest `digest_hex`.
bool Sha256Matches(std::string_view hex, std::string_view digest_hex);
// The largest program download accepted; a larger announced length fails before a byte is written.
inline constexpr std::int64_t kMaxDownloadSize = std::int64_t{256} << 20;

}  // namespace velmora
