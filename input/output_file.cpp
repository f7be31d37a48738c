// Output files of the tools that write DV and reports: never an existing
// file overwritten unless asked.
#include "output_file.h"

#include <cerrno>
#include <cstring>

namespace hvdv_input {

FILE* CreateOutputFile(const std::string& path, bool force, std::string* error) {
    FILE* f = nullptr;
    if (force) {
        f = std::fopen(path.c_str(), "wb");
    } else {
#if defined(_WIN32)
        // msvcrt has no exclusive mode.
        if (FILE* existing = std::fopen(path.c_str(), "rb")) {
            std::fclose(existing);
            errno = EEXIST;
        } else {
            f = std::fopen(path.c_str(), "wb");
        }
#else
        f = std::fopen(path.c_str(), "wbx");
#endif
    }
    if (!f)
        *error = errno == EEXIST ? std::string("exists (--force overwrites it)")
                                 : "cannot write: " + std::string(std::strerror(errno));
    return f;
}

}  // namespace hvdv_input
