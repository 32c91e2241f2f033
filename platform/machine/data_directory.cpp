#include "machine/data_directory.h"

namespace machine {

namespace fs = std::filesystem;

// Beside the executable first: the build tree keeps its programs one level
// below the root (app/, knobreg/, tools/, tests/) and the data in share/knobwise; an
// installed program finds it at the compiled-in place.
fs::path dataDirectory() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        for (const char* up : {"../share/knobwise", "../../share/knobwise"}) {
            fs::path candidate = (exe.parent_path() / up).lexically_normal();
            if (fs::is_regular_file(candidate / "default.reg", ec)) return candidate;
        }
    }
    return KNOBWISE_DATA_DIR_INSTALLED;
}

}  // namespace machine
