#include "app/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace velmora {
namespace {

class QtDialogs final : public Dialogs {
  public:
    void Error(QWidget* owner, const QString& text, const QString& caption) override {
        QMessageBox::critical(owner, Caption(caption), text, QMessageBox::Ok);
    }
    void Message(QWidget* owner, const QString& text, const QString& caption) override {
        QMessageBox box(QMessageBox::NoIcon, Caption(caption), text, QMessageBox::Ok, owner);
        box.exec();
    }
    void Information(QWidget* owner, const QString& text, const QString& caption) override {
        QMessageBox::information(owner, Caption(caption), text, QMessageBox::Ok);
    }
    bool AskYesNo(QWidget* owner, const QString& text, const QString& caption) override {
        return QMessageBox::information(owner, Caption(caption), text,
                                        QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
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
