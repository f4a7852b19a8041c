// Program entry: the main window, then the about box and the channel editor, then the message loop.
#include <QApplication>
#include <QIcon>

#include "app/main_window.h"
#include "app/program_windows.h"
#include "app/session_end.h"
#include "desktop/language_switch.h"
#include "desktop/program_files.h"
#include "i18n/message.h"

int main(int argc, char** argv) {
    // On X11, shared-memory images turn every small repaint (the clock, once a second) into a
    // round trip that wakes the program three times; this window's repaints are small, so plain
    // requests cost less. A user's own setting wins.
    if (qEnvironmentVariableIsEmpty("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication app(argc, argv);
    velmora::InitMessages(velmora::FindProgramFile(QStringLiteral("locale")));
    velmora::SelectStartupLanguage();
    QApplication::setApplicationName(velmora::Msg("Velmora"));
    // Lets the desktop match the windows to velmora.desktop and show the installed icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("velmora"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("velmora"), QIcon(":/logo.png")));

    velmora::TForm1* form1 = velmora::CreateProgramWindows();
    if (!form1) return 1;
    form1->show();
    // Only after the first showing has loaded the list: an earlier close would save an empty one.
    new velmora::SessionEnd(form1);
    return app.exec();
}
