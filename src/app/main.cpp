// Program entry: the main window, then the about box and the channel editor, then the message loop.
#include <QApplication>

#include "app/about_box.h"
#include "app/main_window.h"
#include "channels/channel_editor.h"
#include "i18n/message.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    velmora::InitMessages();
    QApplication::setApplicationName(velmora::Msg("Velmora"));

    auto* form1 = new velmora::TForm1;
    if (!form1->StartedUp()) {
        delete form1;
        return 1;
    }
    velmora::TAboutBox about_box;
    velmora::TForm3 form3(form1->Channels());
    form1->show();
    return app.exec();
}
