// The declarations record's text, shared by its reader (declarations.cpp,
// in the stub) and its writer (declarationswrite.cpp, in the builder only,
// so that the stub does not carry it): the line names, the header, and the
// one set of rules a whole record keeps.
#pragma once

#include "payload/declarations.hpp"

#include <array>
#include <string>
#include <vector>

namespace payload::declarationtext {

inline constexpr std::array<const char*, 6> kTypeNames = {"string", "expandable", "dword", "qword", "multistring", "binary"};
inline constexpr char kRegistryLine[] = "registry";
inline constexpr char kSigninLine[] = "startatsignin";
inline constexpr char kTaskLine[] = "task";
inline constexpr char kTaskTextLine[] = "tasktext";
inline constexpr char kPathLine[] = "path";
inline constexpr char kEnvironmentLine[] = "environment";
inline constexpr char kFileTypeLine[] = "filetype";
inline constexpr char kVerbLine[] = "verb";
inline constexpr char kProtocolLine[] = "protocol";
inline constexpr char kPrerequisiteLine[] = "prerequisite";
inline constexpr char kRunLine[] = "run";
inline constexpr std::array<const char*, 3> kCheckNames = {"", "registry", "file"};
inline constexpr std::array<const char*, 3> kRunWhenNames = {"afterinstall", "beforeuninstall", "afterupdate"};
inline constexpr char kEnd[] = "end";
inline constexpr std::size_t kMaxLine = 200000;  // a multi-string value of many long items

std::string Header(int version);
// No control character, at most kMaxDeclarationText units.
bool IsText(const std::u16string& text);
// One value of `d` as the line's last fields; false when it does not fit its type.
bool ValueFields(const RegistryDeclaration& d, std::vector<std::string>& fields);
// Every rule a whole set of declarations keeps; "" when it keeps them all.
std::string Check(const Declarations& d);

}  // namespace payload::declarationtext
