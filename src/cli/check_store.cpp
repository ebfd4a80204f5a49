#include "cli/check_store.h"

#include <ostream>

#include "backup/sha256.h"
#include "engine/escaped_text.h"
#include "platform/file_in_folder.h"
#include "platform/program_language.h"
#include "platform/whole_file.h"

namespace korvax::cli {

CheckStore OpenCheckStore(const Arguments& arguments, std::ostream& warnings) {
    StoreChoice choice;
    choice.folder = arguments.backup;
    choice.keepsOriginals = !arguments.noCure && !arguments.noBackup;
    choice.limits = arguments.storeLimits;
    return korvax::OpenCheckStore(choice, warnings, "korvax-scan");
}

int ChangeTrust(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    try {
        const std::unique_ptr<PrivateFolder> folder = MakeStore(arguments.backup);
        TrustList list(*folder);
        if (!arguments.trust.empty()) {
            // Listed as a check meets it: under its link-free path.
            const std::string path = AbsolutePath(LinkFreeFilePath(arguments.trust));
            list.Trust(path, Sha256Hex(ReadWholeFile(path)));
            out << Translated("Доверенный файл: ") << ShownPath(path) << '\n';
            return 0;
        }
        const std::string path = AbsolutePath(LinkFreeFilePath(arguments.untrust));
        if (!list.Untrust(path)) {
            err << "korvax-scan: " << ShownPath(path) << " is not on the trusted list of " << ShownPath(folder->path())
                << '\n';
            return 2;
        }
        out << Translated("Больше не доверенный: ") << ShownPath(path) << '\n';
        return 0;
    } catch (const Failure& failure) {
        err << "korvax-scan: " << ShownPath(failure.what()) << '\n';
        return 2;
    }
}

}  // namespace korvax::cli
