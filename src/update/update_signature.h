// SPDX-License-Identifier: GPL-3.0-or-later
// Signed updates: the release statement a program update is signed over, its Ed25519 check with
// OpenSSL, and the release key the check trusts. Bytes in, values out; no network, no window.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The exact bytes a release signs: "velmora-update\nversion=V\nsha256=H\n", with V and H as the
// information file gives them.
std::string SignedStatement(std::string_view version, std::string_view sha256);

// Standard base64 (with padding, blanks around it ignored); nullopt for anything else.
std::optional<std::string> DecodeBase64(std::string_view text);

// True when `signature` (64 bytes) is a valid Ed25519 signature of `message` by `public_key` (32
// raw bytes). Every malformed input is simply not valid.
bool VerifyEd25519(std::string_view public_key, std::string_view message,
                   std::string_view signature);

// The public half of the project's release key (32 raw bytes).
std::string BuiltInReleaseKey();
// The key updates are checked against: VELMORA_UPDATE_PUBLIC_KEY (base64 of 32 raw bytes) when
// VELMORA_UPDATE_HOST is also set, for testing against a local host; the built-in key otherwise.
// Empty when the variable is set but is not such a key, so that nothing verifies.
std::string TrustedReleaseKey();

}  // namespace velmora
