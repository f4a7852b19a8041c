// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/update_signature.h"

#include <openssl/evp.h>

#include <cstdlib>
#include <memory>

namespace velmora {

namespace {

// The public half of the release key; its private half never enters the repository.
constexpr unsigned char kReleaseKey[32] = {
    0x98, 0x3d, 0xb4, 0x1c, 0x47, 0x66, 0x46, 0x40, 0x0f, 0xa4, 0x21, 0x06, 0xbc, 0x38, 0xdc, 0xf1,
    0x73, 0xc3, 0x36, 0xff, 0xaa, 0xa6, 0x3b, 0xfa, 0x6a, 0xb1, 0xcb, 0xd1, 0xf7, 0x97, 0xf3, 0x80,
};

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::string SignedStatement(std::string_view version, std::string_view sha256) {
    std::string s = "velmora-update\nversion=";
    s += version;
    s += "\nsha256=";
    s += sha256;
    s += '\n';
    return s;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
    text = Trim(text);
    if (text.empty() || text.size() % 4 != 0) return std::nullopt;
    // EVP_DecodeBlock skips blanks inside and accepts "=" anywhere: only the plain alphabet, with
    // at most two "=" at the very end, is base64 here.
    const std::size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
    for (std::size_t i = 0; i < text.size() - padding; ++i) {
        const char c = text[i];
        const bool alphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                              (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (!alphabet) return std::nullopt;
    }
    std::string out(text.size() / 4 * 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0) return std::nullopt;
    out.resize(static_cast<std::size_t>(n) - padding);
    return out;
}

bool VerifyEd25519(std::string_view public_key, std::string_view message,
                   std::string_view signature) {
    if (public_key.size() != 32 || signature.size() != 64) return false;
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                    reinterpret_cast<const unsigned char*>(public_key.data()),
                                    public_key.size()),
        &EVP_PKEY_free);
    if (!key) return false;
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(),
                                                                      &EVP_MD_CTX_free);
    if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1) {
        return false;
    }
    return EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            signature.size(),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

std::string BuiltInReleaseKey() {
    return std::string(reinterpret_cast<const char*>(kReleaseKey), sizeof kReleaseKey);
}

std::string TrustedReleaseKey() {
    const char* host = std::getenv("VELMORA_UPDATE_HOST");
    const char* key = std::getenv("VELMORA_UPDATE_PUBLIC_KEY");
    // A key from the environment alone could be planted to accept anyone's update from the
    // project's real host; it counts only beside a host of the tester's own.
    if (!host || !*host || !key || !*key) return BuiltInReleaseKey();
    const std::optional<std::string> raw = DecodeBase64(key);
    return raw && raw->size() == 32 ? *raw : std::string();
}

}  // namespace velmora
