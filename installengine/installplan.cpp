#include "installengine/installplan.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/textconv.hpp"

namespace installengine {

using namespace setuputil;

std::string AppPathsKeyFor(const std::string& exename) {
    return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + exename;
}

std::string UninstallKeyFor(const std::string& productname) {
    return "software\\microsoft\\windows\\currentversion\\uninstall\\" + productname;
}

std::vector<ServiceSlotText> UsedServiceSlots(const payload::tsetuptrailer& trailer) {
    std::vector<ServiceSlotText> slots;
    for (std::size_t i = 0; i < payload::kServiceSlots; ++i) {
        std::string program = payload::ReadShortString(trailer.serviceprograms[i]);
        if (program.empty()) break;
        slots.push_back({std::move(program), payload::ReadShortString(trailer.servicenames[i])});
    }
    return slots;
}

std::vector<ShortcutSlotText> UsedShortcutSlots(const payload::tsetuptrailer& trailer) {
    std::vector<ShortcutSlotText> slots;
    for (std::size_t i = 0; i < payload::kShortcutSlots; ++i) {
        std::string target = payload::ReadShortString(trailer.shortcuttargets[i]);
        if (target.empty()) break;
        slots.push_back({std::move(target), payload::ReadShortString(trailer.shortcutcaptions[i])});
    }
    return slots;
}

ShortcutSlotParts SplitShortcutSlot(const std::u16string& slot) {
    const std::size_t dash = slot.find(u'-');
    if (dash == std::u16string::npos) return {slot, u""};
    return {slot.substr(0, dash), slot.substr(dash)};
}

std::u16string DisplayName(const InstallInputs& in) { return TrimSpacesAndReturns(AnsiToWide(in.productname)); }

std::u16string LinkName(const InstallInputs& in) { return StripBadNameChars(AnsiToWide(in.productname)) + u".lnk"; }

std::u16string ProgramPath(const InstallInputs& in) { return AddBackslash(in.installfolder) + AnsiToWide(in.exename); }

std::u16string BareFolder(const InstallInputs& in) { return RemoveBackslash(in.installfolder); }

std::u16string UninstallerPath(const InstallInputs& in) { return AddBackslash(in.windowsfolder) + kUninstallerName; }

std::u16string GroupFolder(const InstallInputs& in) {
    // Without a Programs folder the group would become a path relative to
    // the current folder: there is then no group at all.
    if (in.programsfolder.empty()) return u"";
    return AddBackslash(RemoveBackslash(in.programsfolder) + in.startmenufolder);
}

std::u16string DesktopLinkPath(const InstallInputs& in) {
    if (in.desktopfolder.empty()) return u"";
    return AddBackslash(in.desktopfolder) + LinkName(in);
}

RegistrationPlan PlanRegistration(const InstallInputs& in) {
    RegistrationPlan plan;
    const std::string app = AppPathsKeyFor(in.exename);
    plan.appvalues = {
        {app, "", WideToAnsi(ProgramPath(in))},
        {app, "Path", EncodeLetterHex(in.installfolder)},
        {app, "Displayname", in.productname},
        {app, "Startpath", EncodeLetterHex(in.startmenufolder)},
        {app, "Desktop", EncodeLetterHex(DesktopLinkPath(in))},
        {app, "AppData", in.appdatafolder},
    };
    if (in.withservices) {
        for (std::size_t i = 0; i < in.services.size(); ++i) {
            const ServiceSlotText& slot = in.services[i];
            const std::string n = Int64ToText(static_cast<std::int64_t>(i));
            plan.services.push_back({slot.name, AddBackslash(in.installfolder) + AnsiToWide(slot.program),
                                     {app, "service" + n, slot.program},
                                     {app, "servicenames" + n, slot.name}});
        }
    }
    const std::string uninstall = UninstallKeyFor(in.productname);
    const auto number = [&](const char* name, std::uint32_t value) {
        return RegValue{uninstall, name, "", RegValueKind::Number, value};
    };
    plan.uninstallvalues = {
        {uninstall, "DisplayName", in.productname},
        {uninstall, "UninstallString",
         WideToAnsi(AddBackslash(in.windowsfolder) + kUninstallerName + u" -ui " + AnsiToWide(in.exename))},
        {uninstall, "DisplayVersion", in.productversion},
        {uninstall, "DisplayIcon", WideToAnsi(ProgramPath(in))},
        {uninstall, "InstallLocation", WideToAnsi(in.installfolder)},
        number("EstimatedSize", EstimatedSizeKiB(in.payloadbytes)),
        number("NoModify", 1),
        number("NoRepair", 1),
    };
    return plan;
}

std::uint32_t EstimatedSizeKiB(std::int64_t bytes) {
    if (bytes <= 0) return 0;
    const std::int64_t kib = bytes / 1024 + (bytes % 1024 != 0);
    return kib > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<std::uint32_t>(kib);
}

std::vector<ShortcutSpec> PlanShortcuts(const InstallInputs& in) {
    std::vector<ShortcutSpec> links;
    const std::u16string group = GroupFolder(in);
    const std::u16string display = DisplayName(in);
    const std::u16string link = LinkName(in);
    const std::u16string program = ProgramPath(in);
    const std::u16string bare = BareFolder(in);
    if (!group.empty()) {
        links.push_back({group + link, program, u"", display, bare, true});
        if (!in.startmenuroot.empty())
            links.push_back({AddBackslash(in.startmenuroot) + link, program, u"", display, bare, true});
        for (std::size_t i = 0; i < in.shortcuts.size() && i < payload::kShortcutSlots; ++i) {
            const std::u16string caption = AnsiToWide(in.shortcuts[i].caption);
            const ShortcutSlotParts parts = SplitShortcutSlot(AnsiToWide(in.shortcuts[i].target));
            links.push_back({group + StripBadNameChars(caption) + u".lnk", AddBackslash(in.installfolder) + parts.target,
                             parts.arguments, TrimSpacesAndReturns(caption), bare, true});
        }
        const std::u16string uninstallcaption = u"Uninstall " + display;
        links.push_back({group + StripBadNameChars(uninstallcaption) + u".lnk", UninstallerPath(in),
                         u"-ui " + AnsiToWide(in.exename), uninstallcaption, in.windowsfolder, true});
    }
    const std::u16string desktop = DesktopLinkPath(in);
    if (!desktop.empty()) links.push_back({desktop, program, u"", display, bare, false});
    return links;
}

}  // namespace installengine
