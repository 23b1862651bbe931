#include "payload/entrypath.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/pathrules.hpp"

#include <string_view>

namespace payload {

namespace {

char16_t UpperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool EqualsUpper(std::u16string_view text, std::u16string_view upper) {
    if (text.size() != upper.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (UpperAscii(text[i]) != upper[i]) return false;
    return true;
}

bool IsDotsAndSpaces(const std::u16string& name) {
    for (char16_t c : name)
        if (c != u'.' && c != u' ') return false;
    return true;
}

}  // namespace

bool IsReservedDeviceName(const std::u16string& name) {
    // The platform ignores an extension and trailing spaces when it matches
    // device names, so "nul.txt" and "COM1 " are devices too.
    std::u16string_view base(name);
    base = base.substr(0, base.find(u'.'));
    while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
    for (std::u16string_view device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"})
        if (EqualsUpper(base, device)) return true;
    if (base.size() == 4 && base[3] >= u'0' && base[3] <= u'9')
        return EqualsUpper(base.substr(0, 3), u"COM") || EqualsUpper(base.substr(0, 3), u"LPT");
    return false;
}

bool IsForbiddenNameChar(char16_t c) {
    return c < 0x20 || c == u'*' || c == u'?' || c == u'"' || c == u'<' || c == u'>' || c == u'|';
}

EntryPathProblem CheckFileName(const std::u16string& name) {
    if (name.empty() || IsDotsAndSpaces(name)) return EntryPathProblem::BadFileName;
    for (char16_t c : name)
        if (c < 0x20 || c == u'\\' || c == u'/' || c == u':') return EntryPathProblem::BadFileName;
    if (IsReservedDeviceName(name) || setuputil::IsDeviceName(setuputil::WideToAnsi(name)))
        return EntryPathProblem::DeviceFileName;
    for (char16_t c : name)
        if (IsForbiddenNameChar(c)) return EntryPathProblem::UnusableFileName;
    if (name.back() == u'.' || name.back() == u' ') return EntryPathProblem::UnusableFileName;
    return EntryPathProblem::None;
}

EntryPathProblem CheckSubfolder(const std::u16string& subfolder) {
    if (subfolder.empty()) return EntryPathProblem::None;
    // Without the leading backslash the text would be glued to the last
    // folder name of the installation folder ("C:\App" + "x" = "C:\Appx").
    if (subfolder.front() != u'\\') return EntryPathProblem::BadSubfolder;
    const std::u16string body = setuputil::RemoveBackslash(subfolder.substr(1));
    if (body.empty()) return EntryPathProblem::BadSubfolder;
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find(u'\\', start);
        if (end == std::u16string::npos) end = body.size();
        switch (CheckFileName(body.substr(start, end - start))) {
            case EntryPathProblem::None: break;
            case EntryPathProblem::DeviceFileName: return EntryPathProblem::DeviceSubfolder;
            case EntryPathProblem::UnusableFileName: return EntryPathProblem::UnusableSubfolder;
            default: return EntryPathProblem::BadSubfolder;
        }
        start = end + 1;
    }
    return EntryPathProblem::None;
}

EntryPathProblem CheckEntryPath(const std::u16string& filename, const std::u16string& subfolder) {
    const EntryPathProblem name = CheckFileName(filename);
    return name != EntryPathProblem::None ? name : CheckSubfolder(subfolder);
}

std::u16string EntryPathProblemText(EntryPathProblem problem) {
    switch (problem) {
        case EntryPathProblem::None: return {};
        case EntryPathProblem::BadFileName: return u"its file name is not a plain file name";
        case EntryPathProblem::DeviceFileName: return u"its file name is a device name";
        case EntryPathProblem::BadSubfolder: return u"its folder would leave the installation folder";
        case EntryPathProblem::DeviceSubfolder: return u"its folder holds a device name";
        case EntryPathProblem::UnusableFileName:
            return u"its file name holds one of * ? \" < > | or ends in a dot or a blank";
        case EntryPathProblem::UnusableSubfolder:
            return u"its folder holds one of * ? \" < > | or a name ending in a dot or a blank";
    }
    return {};
}

std::u16string EntryDisplayPath(const DirectoryEntry& entry) {
    std::u16string folder = entry.subfolder;
    if (!folder.empty() && folder.front() == u'\\') folder.erase(0, 1);
    folder = setuputil::AddBackslash(folder);
    return folder + entry.filename;
}

}  // namespace payload
