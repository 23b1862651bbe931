// What an update changes of the installed version, kept so that a failed
// or cancelled update puts the installed version back as it was.
//
// Files of the program folder that the update replaces or removes are
// moved aside -- renamed, on the same volume -- into the hidden backup
// folder inside the program folder (kUpdateBackupFolder, updateplan.hpp),
// at the same relative path; the product's uninstaller is renamed to a
// temporary name in its own folder.  Files and folders the update creates
// are noted, the registration keys, the services and the shortcut files it
// is about to change are read first.
//
// Rollback undoes it all in reverse: the shortcuts and the registration
// are written back as they were, the services the update installed are
// removed, the files it created deleted, what was moved aside moved back,
// the folders it created removed, and the installed version's services
// created again and started when they ran.  Commit, after a successful
// update, deletes what was moved aside.
//
// A backup folder left by a run that ended abruptly (the machine went
// down) is deleted when the next update begins; the uninstall deletes it
// with the program folder.
#pragma once

#include "setuputil/registry.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace installengine {

class UpdateJournal {
public:
    // Begins the journal of an update of the program folder `folder`;
    // false when the backup folder cannot be made.
    bool Begin(const std::u16string& folder);
    bool Active() const { return active_; }
    std::u16string BackupFolder() const;

    enum class Move { Done, Missing, InUse, Failed };
    // Moves the file `relative` of the program folder aside; Missing when
    // there is none (the file the update writes there is then noted as new).
    // Never through a link: a file whose final path is not where its name
    // says (a link on its way) is Failed.
    Move MoveAside(const std::u16string& relative);
    // The same for a file outside the program folder (the uninstaller):
    // renamed to a temporary name in its own folder.
    Move MoveAsideInPlace(const std::u16string& path);
    // A file the update writes where none was (relative, or absolute
    // outside the program folder): deleted on rollback.
    void NoteNewFile(const std::u16string& path);
    // A folder of the program folder the update created (relative), or one
    // outside it (absolute, the Start-menu folder); removed when empty.
    void NoteNewFolder(const std::u16string& path);

    // Read before the update writes them.
    void SnapshotKey(setuputil::RegRoot root, const std::string& key);
    // One value of the product's own (and whether its key and each parent
    // below "Software\<Vendor>" were there): the rollback writes it back,
    // or deletes it and the keys it made while they are empty.  Other values
    // of the key are never touched.
    void SnapshotValue(setuputil::RegRoot root, const std::string& key, const std::u16string& name);
    void SnapshotService(const std::string& name, const std::u16string& programpath, bool running);
    void NoteServiceInstalled(const std::string& name);
    // A shortcut file: its bytes (at most kMaxSnapshotFile), or that it was missing.
    void SnapshotFile(const std::u16string& path);
    static constexpr std::int64_t kMaxSnapshotFile = 1 << 20;

    // Puts the installed version back; answers "" when all of it was, else
    // what was not, for the log.  The journal ends.
    std::u16string Rollback();
    // Deletes what was moved aside; answers "" when all of it went.
    std::u16string Commit();

private:
    struct Moved {
        std::u16string original, aside;
    };
    struct KeyCopy {
        setuputil::RegRoot root;
        std::string key;
        bool existed = false;
        std::vector<setuputil::RegValueCopy> values;
    };
    struct ValueCopy {
        setuputil::RegRoot root;
        std::string key;
        bool existed = false;
        setuputil::RegValueCopy value;
        std::vector<std::string> missingkeys;  // parents first
    };
    struct ServiceCopy {
        std::string name;
        std::u16string programpath;
        bool running = false;
    };
    struct FileCopy {
        std::u16string path;
        bool existed = false;
        std::vector<std::uint8_t> bytes;
    };

    std::u16string Full(const std::u16string& path) const;

    bool active_ = false;
    std::u16string folder_;
    std::u16string finalfolder_;  // folder_ with links and short names resolved
    std::vector<Moved> moved_;
    std::vector<std::u16string> newfiles_;  // full paths
    std::vector<std::u16string> newfolders_;
    std::vector<KeyCopy> keys_;
    std::vector<ValueCopy> values_;
    std::vector<ServiceCopy> services_;
    std::vector<std::string> installedservices_;
    std::vector<FileCopy> files_;
};

}  // namespace installengine
