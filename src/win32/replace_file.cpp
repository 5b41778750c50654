// Replacing a file on Windows: MinGW's std::filesystem::rename refuses to overwrite an existing
// file, which every atomic save needs, so the move goes through the system call that can.

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "io/file_open.h"

namespace kestrum {

void replaceFile(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& ec) {
    ec.clear();
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ec = std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

} // namespace kestrum
