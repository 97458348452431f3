// tests/tools/output_hazards_windows.cpp: folders, symbolic links
// (reparse points) and device names. Test thread.
#include "tests/tools/output_hazards.h"

#include "tests/tools/tool_process.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

std::vector<Hazard> output_hazards()
{
    return {
        {"a link to a file", "OUT",
         [](const std::string& out) -> const char* {
             std::ofstream(fs::path(out).parent_path() / "target") << "old";
             std::error_code ec;
             fs::create_symlink("target", out, ec);
             return ec ? "making a symbolic link needs the right to (Developer Mode, or an administrator)" : nullptr;
         },
         ""},
        {"a folder", "OUT",
         [](const std::string& out) -> const char* {
             fs::create_directory(out);
             return nullptr;
         },
         ""},
        // NUL names the null device in any folder.
        {"a device's name", "NUL", [](const std::string&) -> const char* { return nullptr; }, ""},
    };
}

std::string what_is(const std::string& path)
{
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    switch (st.type()) {
    case fs::file_type::not_found: return "nothing";
    case fs::file_type::symlink: return "link to " + fs::read_symlink(path, ec).string();
    case fs::file_type::directory: return "folder";
    case fs::file_type::regular: break;
    default: return "something else";
    }
    const std::string text = read_text(path);
    return text.size() > 40 ? "file of " + std::to_string(text.size()) + " bytes" : "file '" + text + "'";
}
