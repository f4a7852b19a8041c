// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/update_transfer.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

#include "base/posix_io.h"
#include "desktop/website.h"
#include "update/update_rules.h"

namespace velmora {

QString UpdaterAgentName() {
    return QStringLiteral("Velmora-Updater (%1)").arg(QLatin1String(kWebsiteUrl));
}

struct UpdateTransfer::Transfer {
    UpdateTransfer* self = nullptr;
    CURL* curl = nullptr;
    std::string content_length;  // of the response being received
    bool has_content_length = false;
    bool begun = false;
    bool failed = false;
    int fd = -1;

    void Fail(const QString& why) {
        if (!failed) self->Failure = why;
        failed = true;
    }

    // Every response of a redirect chain starts with its status line; only the last one counts.
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
        auto& t = *static_cast<Transfer*>(user);
        const std::string_view line(data, size * count);
        if (line.rfind("HTTP/", 0) == 0) {
            t.has_content_length = false;
            t.content_length.clear();
        } else if (line.size() > 15 && strncasecmp(line.data(), "content-length:", 15) == 0) {
            t.has_content_length = true;
            t.content_length = std::string(line.substr(15));
        }
        return size * count;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
        auto& t = *static_cast<Transfer*>(user);
        const std::size_t n = size * count;
        // No exception may cross curl's C frames: it fails the transfer instead.
        try {
            if (!t.Begin()) return 0;
            for (std::size_t at = 0; at < n; at += kPieceSize) {
                if (!t.Take(data + at, std::min(kPieceSize, n - at))) return 0;  // aborts
            }
        } catch (const std::exception& e) {
            t.Fail(QString::fromLocal8Bit(e.what()));
            return 0;
        }
        return n;
    }

    static int OnXferInfo(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<Transfer*>(user)->self->abort_ ? 1 : 0;
    }

    // The response's headers are complete: apply the Content-Length and status rules, and in
    // file mode create the file.
    bool Begin() {
        if (begun) return !failed;
        begun = true;
        UpdateTransfer& s = *self;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &s.HttpStatus);
        if (has_content_length) {
            s.TotalSize = ParseContentLength(content_length);
            if (s.TotalSize < 0) {
                Fail(QStringLiteral("Content-Length is not a whole number"));
                return false;
            }
        }
        if (!s.DownloadToFile) return true;
        if (!has_content_length) {
            Fail(QStringLiteral("no Content-Length"));
            return false;
        }
        if (s.HttpStatus < 200 || s.HttpStatus > 299) {
            Fail(QStringLiteral("HTTP status %1").arg(s.HttpStatus));
            return false;
        }
        // A huge announced length would fill the cache folder before it failed.
        if (s.TotalSize > kMaxDownloadSize) {
            Fail(QStringLiteral("Content-Length %1 is larger than %2 bytes")
                     .arg(s.TotalSize)
                     .arg(kMaxDownloadSize));
            return false;
        }
        const QByteArray name = s.FileName.toLocal8Bit();
        ::unlinkat(s.folder_fd_, name.constData(), 0);  // never write through a planted link
        fd = ::openat(s.folder_fd_, name.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            Fail(QStringLiteral("cannot create %1: %2")
                     .arg(s.FilePath, QString::fromLocal8Bit(ErrnoText(errno).c_str())));
            return false;
        }
        return true;
    }

    bool Take(const char* data, std::size_t size) {
        UpdateTransfer& s = *self;
        if (s.DownloadToFile) {
            // curl is told to read to the end of the connection, so a body longer than its
            // announced length is seen and refused.
            if (s.ReadSize + static_cast<std::int64_t>(size) > s.TotalSize) {
                Fail(QStringLiteral("more than the %1 bytes announced").arg(s.TotalSize));
                return false;
            }
            if (WriteAll(fd, data, size) != 0) {
                Fail(QStringLiteral("cannot write %1").arg(s.FilePath));
                return false;
            }
        } else {
            if (static_cast<std::int64_t>(s.Received.size() + size) > kMaxTextSize) {
                Fail(QStringLiteral("text body too large"));
                return false;
            }
            s.Received.append(data, size);
        }
        s.ChunkSize = static_cast<std::int64_t>(size);
        s.ReadSize += s.ChunkSize;
        if (s.DownloadToFile && s.report_progress_) {
            emit s.Progress(&s, s.TotalSize, s.ReadSize, ReadPercents(s.ReadSize, s.TotalSize));
        }
        return true;
    }
};

UpdateTransfer::UpdateTransfer(QObject* owner, QString url, bool download_to_file, int folder_fd,
                               QString file_name, QString file_path, QString username,
                               QString password, bool report_progress)
    : Owner(owner),
      Url(std::move(url)),
      DownloadToFile(download_to_file),
      FileName(std::move(file_name)),
      FilePath(std::move(file_path)),
      folder_fd_(folder_fd >= 0 ? ::fcntl(folder_fd, F_DUPFD_CLOEXEC, 0) : -1),
      username_(std::move(username)),
      password_(std::move(password)),
      report_progress_(report_progress) {}

UpdateTransfer::~UpdateTransfer() {
    // Only deleted after it finished, or at the end of the process.
    abort_ = true;
    wait();
    if (folder_fd_ >= 0) ::close(folder_fd_);
}

void UpdateTransfer::run() {
    // An exception would end the whole program from this thread: it fails the transfer instead.
    try {
        Perform();
    } catch (const std::exception& e) {
        Success = false;
        Failure = QString::fromLocal8Bit(e.what());
    } catch (...) {
        Success = false;
        Failure = QStringLiteral("unexpected failure");
    }
}

void UpdateTransfer::Perform() {
    Transfer t;
    t.self = this;
    CURL* curl = curl_easy_init();
    if (!curl) {
        Failure = QStringLiteral("curl_easy_init failed");
        return;
    }
    t.curl = curl;
    const QByteArray url = Url.trimmed().toUtf8();
    const QByteArray agent = UpdaterAgentName().toUtf8();
    const QByteArray user = username_.toUtf8();
    const QByteArray pass = password_.toUtf8();
    // Always from the server, never from a cache on the way.
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    // The system proxy comes from http_proxy / https_proxy / no_proxy, which curl reads itself
    // when no proxy is set on the handle: the player's own proxy setting is not used here.
    if (!user.isEmpty()) curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
    if (!pass.isEmpty()) curl_easy_setopt(curl, CURLOPT_PASSWORD, pass.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 20L);
    // A server that stops sending fails the transfer instead of holding it for ever.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, static_cast<long>(kPieceSize));
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Transfer::OnXferInfo);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
    if (DownloadToFile) curl_easy_setopt(curl, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);

    ReadSize = 0;
    Received.clear();
    const CURLcode rc = url.isEmpty() ? CURLE_URL_MALFORMAT : curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &HttpStatus);
    if (rc == CURLE_OK) t.Begin();  // an empty body still has its headers checked
    if (rc != CURLE_OK && !t.failed && ReadSize == 0) {
        t.Fail(QString::fromUtf8(curl_easy_strerror(rc)));
    }
    if (t.fd >= 0 && ::close(t.fd) != 0) t.Fail(QStringLiteral("cannot write %1").arg(FilePath));
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);

    if (t.failed || abort_) {
        Success = false;
    } else if (DownloadToFile) {
        Success = ReadSize == TotalSize;
        if (!Success) Failure = QStringLiteral("%1 of %2 bytes").arg(ReadSize).arg(TotalSize);
    } else {
        // The status is not examined: an error page is a body like any other.
        Success = ReadSize > 0;
        if (!Success && Failure.isEmpty()) Failure = QStringLiteral("empty body");
    }
}

}  // namespace velmora
