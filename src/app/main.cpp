// Program entry: the main window, then the about box and the channel editor, then the message loop.
#include <QApplication>

#include "app/language_switch.h"
#include "app/main_window.h"
#include "app/program_windows.h"
#include "i18n/message.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    velmora::InitMessages();
    velmora::SelectStartupLanguage();
    QApplication::setApplicationName(velmora::Msg("Velmora"));

    velmora::TForm1* form1 = velmora::CreateProgramWindows();
    if (!form1) return 1;
    form1->show();
    return app.exec();
}
