// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace velmora {
namespace {

// Texts shown in boxes may carry a server's words (an update's message, a file name): they are
// always plain text, never markup.
QMessageBox::StandardButton ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& caption,
                                    const QString& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, caption, text, buttons, owner);
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

class QtDialogs final : public Dialogs {
  public:
    void Error(QWidget* owner, const QString& text, const QString& caption) override {
        ShowBox(owner, QMessageBox::Critical, Caption(caption), text, QMessageBox::Ok);
    }
    void Message(QWidget* owner, const QString& text, const QString& caption) override {
        ShowBox(owner, QMessageBox::NoIcon, Caption(caption), text, QMessageBox::Ok);
    }
    void Information(QWidget* owner, const QString& text, const QString& caption) override {
        ShowBox(owner, QMessageBox::Information, Caption(caption), text, QMessageBox::Ok);
    }
    bool AskYesNo(QWidget* owner, const QString& text, const QString& caption) override {
        return ShowBox(owner, QMessageBox::Information, Caption(caption), text,
                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    }
    std::optional<int> AskNumber(QWidget* owner, const QString& text, int value, int min, int max,
                                 const QString& caption) override {
        bool ok = false;
        const int number =
            QInputDialog::getInt(owner, Caption(caption), text, value, min, max, 1, &ok);
        return ok ? std::optional<int>(number) : std::nullopt;
    }
    QString SaveFileName(QWidget* owner, const QString& caption, const QString& suggested,
                         const QString& filter) override {
        QFileDialog dlg(owner, caption, suggested, filter);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setDefaultSuffix("vlr");
        dlg.selectFile(suggested);
        return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()
                   ? dlg.selectedFiles().first()
                   : QString();
    }
    QString OpenFileName(QWidget* owner, const QString& caption, const QString& filter) override {
        return QFileDialog::getOpenFileName(owner, caption, QString(), filter);
    }
    void Beep() override { QApplication::beep(); }

  private:
    static QString Caption(const QString& c) {
        return c.isEmpty() ? QApplication::applicationName() : c;
    }
};

QtDialogs g_qt_dialogs;
Dialogs* g_current = nullptr;

}  // namespace

Dialogs& dialogs() {
    return g_current ? *g_current : g_qt_dialogs;
}
void SetDialogs(Dialogs* d) {
    g_current = d;
}

}  // namespace velmora
