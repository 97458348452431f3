// tests/tools/render/output_file_test.cpp: how the three render tools treat the
// file they write, run as programs: anything but a regular file we may
// replace is refused before any work; a full disk and a signal, wherever it
// comes, leave an older file as it was and no other behind.
#include "tests/tools/render/tool_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string d = testing::TempDir() + "output_file_test_" + std::to_string(getpid());

struct Tool {
    const char* name;
    const char* command;  // OUT is the output, D this test's folder
};

std::string expand(std::string command, const std::string& out)
{
    return std::regex_replace(std::regex_replace(command, std::regex("OUT"), out), std::regex("\\bD/"), d + "/");
}

// What stands at path: its type and, for a device, a link or a file, what
// tells it from another of its kind.
std::string what_is(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return "nothing";
    if (S_ISCHR(st.st_mode))
        return "char device " + std::to_string(major(st.st_rdev)) + "," + std::to_string(minor(st.st_rdev));
    if (S_ISFIFO(st.st_mode))
        return "pipe";
    if (S_ISLNK(st.st_mode))
        return "link to " + fs::read_symlink(path).string();
    const std::string text = read_text(path);
    return text.size() > 40 ? "file of " + std::to_string(text.size()) + " bytes" : "file '" + text + "'";
}

// Whether a thread of process pid waits in an open of a pipe for a writer.
bool opens_a_pipe(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(tasks, ec))
        if (read_text(e.path().string() + "/wchan") == "wait_for_partner")
            return true;
    return false;
}

void make_folder(const std::string& folder)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
}

void write_text(const std::string& path, const char* text)
{
    std::ofstream(path) << text;
}

}  // namespace

TEST(OutputFile, AnythingButAReplaceableRegularFileIsRefusedBeforeAnyWork)
{
    // Each tool's input is missing, so that an output let through says so
    // instead (or, were that check gone too, ends in status 1).
    make_folder(d + "/nodisk/datas");
    const Tool tools[] = {{"render-wav", RENDER_WAV " no/such/module.it OUT --seconds 1"},
                          {"render-frame", RENDER_FRAME " OUT --datas no/such/folder"},
                          {"render-video", RENDER_VIDEO " OUT -C D/nodisk --seconds 1"}};
    struct Hazard {
        const char* name;
        bool needs_root;     // to be made
        bool as_nobody;      // the tool runs as another user than the file's
        void (*make)(const std::string& out);
    };
    const Hazard hazards[] = {
        {"a pipe", false, false, [](const std::string& out) { mkfifo(out.c_str(), 0644); }},
        {"a link to a file", false, false,
         [](const std::string& out) {
             write_text(d + "/out/target", "old");
             fs::create_symlink("target", out);
         }},
        // /dev/null's numbers, in our own folder.
        {"a device", true, false, [](const std::string& out) { mknod(out.c_str(), S_IFCHR | 0666, makedev(1, 3)); }},
        // In a sticky folder only the file's owner, the folder's or root
        // may replace a file.
        {"root's file in a sticky folder", true, true,
         [](const std::string& out) {
             fs::permissions(d + "/out", fs::perms::all | fs::perms::sticky_bit);
             write_text(out, "old");
         }},
    };
    const bool root = geteuid() == 0;
    for (const Hazard& h : hazards) {
        if (h.needs_root && !root) {
            std::printf("skipped %s: making it needs root\n", h.name);
            continue;
        }
        for (const Tool& t : tools) {
            make_folder(d + "/out");
            const std::string out = d + "/out/OUT";
            h.make(out);
            const std::string before = what_is(out), names = listing(d + "/out");
            const std::string as = h.as_nobody ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
            const auto [status, err] = run_tool("timeout 60 " + as + expand(t.command, out), d + "/err");
            EXPECT_EQ(status, 2) << t.name << ", " << h.name << ": " << err;
            EXPECT_EQ(err.rfind(std::string(t.name) + ": cannot write '" + out + "': ", 0), 0u)
                << t.name << ", " << h.name << ": " << err;
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << t.name << ", " << h.name << ": " << err;
            EXPECT_EQ(what_is(out), before) << t.name << ", " << h.name;
            EXPECT_EQ(listing(d + "/out"), names) << t.name << ", " << h.name;
        }
    }
    fs::remove_all(d);
}

TEST(OutputFile, AFullDiskKeepsTheOlderFileAndLeavesNoOther)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "a small tmpfs needs root to mount";
    const std::string full = d + "/full", out = full + "/OUT";
    make_folder(full);
    if (mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a small tmpfs could not be mounted: " << std::strerror(errno);
    // Each writes far more than 64 kB.
    for (const Tool& t : {Tool{"render-wav", RENDER_WAV " datas/1-ambre.it OUT --seconds 5"},
                          Tool{"render-frame", RENDER_FRAME " OUT --datas datas"},
                          Tool{"render-video", RENDER_VIDEO " OUT --seconds 1 --lossless"}}) {
        write_text(out, "old");
        EXPECT_EQ(run_tool("timeout 120 " + expand(t.command, out), d + "/err"),
                  std::make_pair(2, std::string(t.name) + ": cannot write '" + out + "': No space left on device\n"));
        EXPECT_EQ(listing(full), "OUT") << t.name;
        EXPECT_EQ(what_is(out), "file 'old'") << t.name;
    }
    umount(full.c_str());
    fs::remove_all(d);
}

TEST(OutputFile, ASignalEndsAToolWhereverItIsAndLeavesTheOlderFile)
{
    // Stuck opening a pipe that nobody writes, or busy rendering: SIGTERM
    // ends it at once with status 1, the older file as it was. A tool that
    // refuses the pipe by itself must end as cleanly.
    make_folder(d + "/pipes/datas");
    for (const fs::directory_entry& e : fs::directory_iterator("datas"))
        if (e.is_regular_file())
            fs::copy_file(e.path(), d + "/pipes/datas/" + e.path().filename().string());
    for (const std::string& pipe : {d + "/pipes/in.it", d + "/pipes/datas/menu.bmp", d + "/pipes/datas/1-ambre.it"}) {
        fs::remove(pipe);
        ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0) << pipe;
    }
    const Tool tools[] = {{"render-wav", RENDER_WAV " D/pipes/in.it OUT"},
                          {"render-frame", RENDER_FRAME " OUT --datas D/pipes/datas"},
                          {"render-video", RENDER_VIDEO " OUT -C D/pipes --seconds 1"},
                          {"render-wav", RENDER_WAV " datas/1-ambre.it OUT --seconds 3600 --loop"}};
    const std::string out = d + "/out/OUT";
    for (const Tool& t : tools) {
        const std::string command = expand(t.command, out);
        make_folder(d + "/out");
        write_text(out, "old");
        const pid_t pid = start_tool(command, d + "/err");
        const bool busy = wait_until(pid, [&] { return opens_a_pipe(pid) || holds_file_in(pid, d + "/out", 1 << 20); });
        if (busy)
            kill(pid, SIGTERM);
        EXPECT_EQ(finish_tool(pid, 60), 1) << command << ": " << read_text(d + "/err");
        if (busy) {
            EXPECT_EQ(read_text(d + "/err"), std::string(t.name) + ": interrupted\n") << command;
        }
        EXPECT_EQ(listing(d + "/out"), "OUT") << command;
        EXPECT_EQ(what_is(out), "file 'old'") << command;
    }
    fs::remove_all(d);
}
