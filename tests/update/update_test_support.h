// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the update tests: event-loop waits, the built programs beside the test,
// dialogs answered by the test, and private cache and settings folders.
#pragma once

#include <openssl/evp.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "desktop/dialogs.h"
#include "update/update_signature.h"

#include "support/qt_test_helpers.h"

namespace velmora::test {

using namespace std::chrono_literals;

inline void Pump(std::chrono::milliseconds time) {
    WaitFor([] { return false; }, time);
}

// A program built beside the test binary.
inline QString BuiltProgram(const char* name) {
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() + QLatin1Char('/') +
           QLatin1String(name);
}

// A raw HTTP/1.0 answer: status line and headers, blank line, body.
inline std::string Http(const std::string& head, const std::string& body) {
    return "HTTP/1.0 " + head + "\r\n\r\n" + body;
}

// Answers every box (questions as told) and remembers what was shown, captions included.
class Answers final : public Dialogs {
  public:
    void Error(QWidget*, const QString& text, const QString&) override { errors << text; }
    void Message(QWidget*, const QString& text, const QString&) override { messages << text; }
    bool AskYesNo(QWidget*, const QString& text, const QString& caption) override {
        questions << caption + QStringLiteral(" | ") + text;
        return yes;
    }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString OpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
    void Beep() override { ++beeps; }
    QStringList errors, messages, questions;
    int beeps = 0;
    bool yes = false;
};

// Keeps $XDG_CACHE_HOME and $XDG_CONFIG_HOME in temporary folders for the test's lifetime.
class PrivateHome {
  public:
    PrivateHome() : cache_(qgetenv("XDG_CACHE_HOME")), config_(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CACHE_HOME", (dir_.path() + "/cache").toUtf8());
        qputenv("XDG_CONFIG_HOME", (dir_.path() + "/config").toUtf8());
    }
    ~PrivateHome() {
        qputenv("XDG_CACHE_HOME", cache_);
        qputenv("XDG_CONFIG_HOME", config_);
    }
    QString Path() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
    QByteArray cache_, config_;
};

// A release key made for the test, trusted (with a local host) while the object lives, as a
// tester's local update host would be.
class TestReleaseKey {
  public:
    TestReleaseKey() : key_(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")) {}
    ~TestReleaseKey() { EVP_PKEY_free(key_); }
    TestReleaseKey(const TestReleaseKey&) = delete;
    TestReleaseKey& operator=(const TestReleaseKey&) = delete;

    QByteArray PublicBase64() const {
        unsigned char raw[32];
        std::size_t size = sizeof raw;
        EVP_PKEY_get_raw_public_key(key_, raw, &size);
        return QByteArray(reinterpret_cast<const char*>(raw), static_cast<int>(size)).toBase64();
    }
    std::string Sign(const std::string& message) const {
        unsigned char signature[64];
        std::size_t size = sizeof signature;
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, key_);
        EVP_DigestSign(ctx, signature, &size,
                       reinterpret_cast<const unsigned char*>(message.data()), message.size());
        EVP_MD_CTX_free(ctx);
        return std::string(reinterpret_cast<const char*>(signature), size);
    }
    // The "#version=", "#sha256=" and "#signature=" lines of `program` released as `version`.
    std::string SignedLines(const std::string& version, const QByteArray& program) const {
        const std::string sha =
            QCryptographicHash::hash(program, QCryptographicHash::Sha256).toHex().toStdString();
        const std::string signature =
            QByteArray::fromStdString(Sign(SignedStatement(version, sha))).toBase64().toStdString();
        return "#version=" + version + "\r\n#sha256=" + sha + "\r\n#signature=" + signature +
               "\r\n";
    }
    // Trusts this key for updates from `host` in this process.
    void Trust(const QByteArray& host) const {
        qputenv("VELMORA_UPDATE_HOST", host);
        qputenv("VELMORA_UPDATE_PUBLIC_KEY", PublicBase64());
    }
    static void Untrust() {
        qunsetenv("VELMORA_UPDATE_HOST");
        qunsetenv("VELMORA_UPDATE_PUBLIC_KEY");
    }

  private:
    EVP_PKEY* key_;
};

}  // namespace velmora::test
