// The program entry: the application object titled "Tallowin", the wizard
// `riform` (the main window, so closing it ends the program), then the
// folder chooser `dir`, then the message loop.
#include "choosedir/tdir.hpp"
#include "gui/application.hpp"
#include "gui/handles.hpp"
#include "mainunit/triform.hpp"
#include "sidepicture.hpp"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    gui::Application application;
    application.Initialize();
    application.SetTitle(u"Tallowin");
    // The five pages with a picture share this one bitmap; it outlives them.
    const gui::BitmapHandle sidepicture(setup::LoadSidePicture(instance));
    mainunit::Triform riform(sidepicture.get());
    choosedir::Tdir dir(riform);
    riform.SetChooser(dir);
    return application.Run();
}
