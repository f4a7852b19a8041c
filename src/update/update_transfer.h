// SPDX-License-Identifier: GPL-3.0-or-later
// UpdateTransfer: one HTTP GET for the updater on a thread of its own, over libcurl. Text mode
// keeps the body in memory (the information file); file mode writes it to a file (the new
// program). It deletes itself after its completion handler has run.
#pragma once

#include <QString>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <string>

namespace velmora {

// "Velmora-Updater (<the project's web address>)", sent with every update request.
QString UpdaterAgentName();

class UpdateTransfer final : public QThread {
    Q_OBJECT
  public:
    // Piece size of every read, and so of every progress report.
    static constexpr std::size_t kPieceSize = 1025;
    // An information file is a few lines; a larger text body is not one.
    static constexpr std::int64_t kMaxTextSize = 1 << 20;

    // In file mode the body is written to `file_name` inside the opened folder `folder_fd` (the
    // worker keeps its own copy of the descriptor); `file_path` names it in messages.
    // `report_progress` asks for a Progress signal after each piece, which the owner connects
    // blocking, so the worker waits for its handler.
    UpdateTransfer(QObject* owner, QString url, bool download_to_file, int folder_fd,
                   QString file_name, QString file_path, QString username, QString password,
                   bool report_progress);
    ~UpdateTransfer() override;

    // Ends a running transfer as failed as soon as curl next checks (within a second).
    void Abort() { abort_ = true; }

    // --- set before the run; read-only afterwards
    QObject* const Owner;
    const QString Url;
    const bool DownloadToFile;
    const QString FileName;
    const QString FilePath;

    // --- written by the run; read by the completion handler once the thread has finished
    bool Success = false;
    std::string Received;         // text mode: the body's bytes
    std::int64_t TotalSize = -1;  // Content-Length, -1 when absent
    std::int64_t ReadSize = 0;    // body bytes received
    std::int64_t ChunkSize = 0;   // bytes of the last piece
    long HttpStatus = 0;          // of the last response
    QString Failure;              // why it failed, for diagnostics

  signals:
    void Progress(QObject* sender, qint64 total_size, qint64 read_size, int read_percents);

  protected:
    void run() override;

  private:
    struct Transfer;  // one run's curl state and callbacks
    void Perform();

    int folder_fd_ = -1;
    const QString username_;
    const QString password_;
    const bool report_progress_;
    std::atomic<bool> abort_{false};
};

}  // namespace velmora
