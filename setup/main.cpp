// The program entry: the command line read once into the start options,
// the application object titled "Tallowin", the wizard `riform` (the main
// window, so closing it ends the program), then the folder chooser `dir`
// and the message loop -- or, unattended, the run without any window.
// The exit code tells how the run ended (mainunit/startoptions.hpp).
#include "choosedir/tdir.hpp"
#include "gui/application.hpp"
#include "gui/handles.hpp"
#include "mainunit/startoptions.hpp"
#include "mainunit/triform.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/wintext.hpp"
#include "sidepicture.hpp"

#include <windows.h>

#include <vector>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    std::vector<std::u16string> params;
    for (std::int32_t i = 0, count = setuputil::ParamCount(); i < count; ++i) params.push_back(setuputil::GetParamW(i));
    mainunit::StartOptions options = mainunit::ParseStartOptions(params);
    options.commandline = setuputil::FromWinStr(::GetCommandLineW());

    gui::Application application;
    application.Initialize();
    application.SetTitle(u"Tallowin");
    // The five pages with a picture share this one bitmap; it outlives them.
    // Unattended there are no pages.
    const gui::BitmapHandle sidepicture(options.unattended ? nullptr : setup::LoadSidePicture(instance));
    mainunit::Triform riform(sidepicture.get(), options);
    if (options.unattended) return riform.RunUnattended();
    choosedir::Tdir dir(riform, riform.ChooserTexts());
    riform.SetChooser(dir);
    application.Run();
    return riform.EndOfRun();
}
