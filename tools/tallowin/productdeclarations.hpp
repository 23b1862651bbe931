// The product file's declarations beyond its files (docs/product-file.md):
// optional `[[tasks]]`, `[[registry]]` values of the product's own,
// `startatsignin`, `path`, `[environment]`, `[[filetypes]]` and
// `[[protocols]]`, `[[prerequisites]]` and `[[run]]`, read into
// the record the builder stamps into the stub (payload/declarations.hpp).
// Every refusal names the field: a key that is not a vendor's key below
// Software (a root, Microsoft's, Classes, Policies, Wow6432Node's, the
// uninstall and App Paths keys), an unknown type, a value that does not fit
// its type, a value name the record cannot carry.
#pragma once

#ifndef TOML_HEADER_ONLY
#define TOML_HEADER_ONLY 1
#endif
#include "payload/declarations.hpp"

#include <toml++/toml.h>

#include <string>
#include <vector>

namespace tallowin {

// Reads "tasks", "registry", "startatsignin", "path", "environment",
// "filetypes", "protocols", "prerequisites", "run" and the tasks' captions
// of "texts" of the product file's top table; false with `error` naming
// the field.  `prerequisitefiles` (when given) gets each prerequisite's
// file as the product file names it, relative to the product file.
bool LoadDeclarations(const toml::table& root, payload::Declarations& out, std::string& error,
                      std::vector<std::string>* prerequisitefiles = nullptr);

// The product's files the declarations name (icons, programs, PATH
// folders), each with its field: the builder refuses one that is not packed.
struct DeclaredFile {
    std::string field;
    std::u16string path;  // relative to the program folder
    bool folder = false;
};
std::vector<DeclaredFile> DeclaredFiles(const payload::Declarations& declarations);

}  // namespace tallowin
