#include "installengine/installplan.hpp"

#include "installengine/uninstallguard.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/textconv.hpp"

namespace installengine {

using namespace setuputil;

ShortcutSlotParts SplitShortcutSlot(const std::u16string& slot) {
    const std::size_t dash = slot.find(u'-');
    if (dash == std::u16string::npos) return {slot, u""};
    return {slot.substr(0, dash), slot.substr(dash)};
}

namespace {

std::u16string ShownName(const InstallInputs& in) {
    return in.displayname.empty() ? AnsiToWide(in.productname) : in.displayname;
}

}  // namespace

std::u16string DisplayName(const InstallInputs& in) { return TrimSpacesAndReturns(ShownName(in)); }

std::u16string IdentityName(const InstallInputs& in) { return TrimSpacesAndReturns(AnsiToWide(in.productname)); }

std::u16string LinkName(const InstallInputs& in) { return StripBadNameChars(ShownName(in)) + u".lnk"; }

std::u16string ProgramPath(const InstallInputs& in) { return AddBackslash(in.installfolder) + AnsiToWide(in.exename); }

std::u16string BareFolder(const InstallInputs& in) { return RemoveBackslash(in.installfolder); }

std::u16string UninstallerPath(const InstallInputs& in) { return installengine::UninstallerPath(in.windowsfolder, in.exename); }

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

namespace {

RegValue wide(const std::string& key, const char* name, const std::u16string& value) {
    RegValue v{key, name};
    v.kind = RegValueKind::WideText;
    v.widevalue = value;
    return v;
}

}  // namespace

std::u16string ValueText(const RegValue& v) {
    return v.kind == RegValueKind::WideText ? v.widevalue : AnsiToWide(v.value);
}

RegistrationPlan PlanRegistration(const InstallInputs& in) {
    RegistrationPlan plan;
    const std::string app = AppPathsKeyFor(in.exename);
    plan.appvalues = {
        wide(app, kProgramValue, ProgramPath(in)),
        {app, kPathValue, EncodeLetterHex(in.installfolder)},
        {app, kDisplaynameValue, in.productname},
        {app, kStartpathValue, EncodeLetterHex(in.startmenufolder)},
        {app, kDesktopValue, EncodeLetterHex(DesktopLinkPath(in))},
        {app, kAppDataValue, in.appdatafolder},
    };
    if (!in.language.empty()) plan.appvalues.push_back({app, kLanguageValue, in.language});
    if (in.withservices) {
        for (std::size_t i = 0; i < in.services.size() && i < kRegisteredServiceSlots; ++i) {
            const payload::ServiceSlot& slot = in.services[i];
            plan.services.push_back({slot.name, AddBackslash(in.installfolder) + AnsiToWide(slot.program),
                                     {app, ServiceProgramValue(i), slot.program},
                                     {app, ServiceNameValue(i), slot.name}});
        }
    }
    const std::string uninstall = UninstallKeyFor(in.productname);
    const auto number = [&](const char* name, std::uint32_t value) {
        return RegValue{uninstall, name, "", RegValueKind::Number, value};
    };
    plan.uninstallvalues = {
        in.displayname.empty() ? RegValue{uninstall, kDisplayNameValue, in.productname}
                               : wide(uninstall, kDisplayNameValue, in.displayname),
        wide(uninstall, kUninstallStringValue, UninstallCommand(UninstallerPath(in), in.exename)),
        {uninstall, kDisplayVersionValue, in.productversion},
        wide(uninstall, kDisplayIconValue, ProgramPath(in)),
        wide(uninstall, kInstallLocationValue, in.installfolder),
        number(kEstimatedSizeValue, EstimatedSizeKiB(in.payloadbytes)),
        number(kNoModifyValue, 1),
        number(kNoRepairValue, 1),
        wide(uninstall, kQuietUninstallStringValue, QuietUninstallCommand(UninstallerPath(in), in.exename)),
        {uninstall, kInstallRecordIdValue, in.recordid},
    };
    if (!in.publisher.empty()) plan.uninstallvalues.push_back(wide(uninstall, kPublisherValue, in.publisher));
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
        const std::u16string uninstallcaption =
            in.uninstallcaption.empty() ? u"Uninstall " + display : in.uninstallcaption;
        links.push_back({group + StripBadNameChars(uninstallcaption) + u".lnk", UninstallerPath(in),
                         std::u16string(kUninstallSwitch) + u" " + AnsiToWide(in.exename), uninstallcaption,
                         UninstallerFolder(in.windowsfolder), true});
    }
    const std::u16string desktop = DesktopLinkPath(in);
    if (!desktop.empty()) links.push_back({desktop, program, u"", display, bare, false});
    return links;
}

InstallRecord PlanInstallRecord(const InstallInputs& in) {
    InstallRecord record;
    record.id = in.recordid;
    record.productname = AnsiToWide(in.productname);
    record.displayname = in.displayname;
    record.exename = AnsiToWide(in.exename);
    record.productversion = AnsiToWide(in.productversion);
    record.programfolder = BareFolder(in);
    record.startmenufolder = in.startmenufolder;
    record.groupfolder = RemoveBackslash(GroupFolder(in));
    for (const ShortcutSpec& link : PlanShortcuts(in))
        (link.ingroup ? record.shortcuts.emplace_back() : record.desktopshortcut) = link.linkfile;
    record.settingsfolder = AnsiToWide(in.appdatafolder);
    if (HasCompletingName(in.startmenufolder)) record.settingskey = AnsiToWide(SettingsKeyFor(in.startmenufolder));
    if (in.withservices)
        for (std::size_t i = 0; i < in.services.size() && i < kRegisteredServiceSlots; ++i)
            record.services.push_back(AnsiToWide(in.services[i].name));
    const std::u16string root = in.scope == payload::InstallScope::User ? u"HKCU\\" : u"HKLM\\";
    record.registrykeys = {root + AnsiToWide(AppPathsKeyFor(in.exename)), root + AnsiToWide(UninstallKeyFor(in.productname))};
    return record;
}

}  // namespace installengine
