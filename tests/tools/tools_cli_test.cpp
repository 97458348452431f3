// tests/tools/tools_cli_test.cpp: the four tools answer their command
// line alike, each run as a program in an empty folder: --help, an unknown
// option, a missing input and a plain run, with what each leaves in the
// folder and prints on either stream.
#include "tests/platform/tool_process.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

// This process's folder: the run/ folder the tools run in, their streams
// beside it.
const std::string d = testing::TempDir() + "tools_cli_test_" + std::to_string(getpid());

struct Outcome {
    int status;
    std::string out, err, left;  // the streams; what run/ holds afterwards
};

// Runs a tool in an emptied run/ folder.
Outcome run_in_folder(const std::string& program, const std::string& args)
{
    fs::remove_all(d + "/run");
    fs::create_directories(d + "/run");
    const std::string command = "cd " + d + "/run && " + program + " " + args;
    const int status = std::system((command + " >" + d + "/out 2>" + d + "/err").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_text(d + "/out"), read_text(d + "/err"),
            listing(d + "/run")};
}

}  // namespace

TEST(ToolsCommandLine, HelpUnknownOptionsMissingInputsAndQuietRunsAreAlike)
{
    // The build tree's datas/, whole and with one file taken out.
    const std::string build = fs::current_path().string(), datas = build + "/datas";
    fs::remove_all(d);
    for (const char* part : {"/part/datas", "/no_menu"}) {
        fs::create_directories(d + part);
        fs::copy(datas, d + part);
    }
    fs::remove(d + "/part/datas/7-FROB.xm");
    fs::remove(d + "/no_menu/menu.bmp");
    const std::string part = d + "/part";

    struct Case {
        const char* tool;
        const char* program;
        std::string run;      // a run that succeeds, writing `made`
        const char* made;
        std::string missing;  // a run whose input is not there, named in `absent`; none for make-datas
        std::string absent;
    };
    for (const Case& c : {
             Case{"make-datas", MAKE_DATAS, "out", "out", "", ""},
             Case{"render-wav", RENDER_WAV, datas + "/1-ambre.it out.wav --seconds 0.1", "out.wav",
                  "no/such.it out.wav", "no/such.it"},
             Case{"render-frame", RENDER_FRAME, "out.png --size 64x48 --datas " + datas, "out.png",
                  "out.png --datas " + d + "/no_menu", d + "/no_menu/menu.bmp"},
             Case{"render-video", RENDER_VIDEO, "out.mkv --seconds 0.1 --size 64x48 -C " + build,
                  "out.mkv", "out.mkv -C " + part, part + "/datas/7-FROB.xm"},
         }) {
        const std::string tool = c.tool;
        for (const char* help : {"--help", "-h"}) {
            const Outcome r = run_in_folder(c.program, help);
            EXPECT_EQ(r.status, 0) << tool << " " << help;
            EXPECT_EQ(r.out.rfind("usage: " + tool + " ", 0), 0u) << tool << " " << help << ": " << r.out;
            EXPECT_EQ(r.err, "") << tool << " " << help;
            EXPECT_EQ(r.left, "") << tool << " " << help;
        }

        // Alone, and after arguments that would otherwise make a file.
        for (const std::string& args : {std::string("--bogus"), c.run + " --bogus"}) {
            const Outcome r = run_in_folder(c.program, args);
            EXPECT_EQ(r.status, 2) << args;
            EXPECT_EQ(r.err, tool + ": unknown option: --bogus (see " + tool + " --help)\n") << args;
            EXPECT_EQ(r.out, "") << args;
            EXPECT_EQ(r.left, "") << tool << " " << args;
        }

        if (!c.missing.empty()) {
            const Outcome r = run_in_folder(c.program, c.missing);
            EXPECT_EQ(r.status, 2) << c.missing;
            EXPECT_EQ(r.err, tool + ": no such file: " + c.absent + "\n") << c.missing;
            EXPECT_EQ(r.left, "") << c.missing;
        }

        // Under the test's display for the two that draw; a summary line
        // at most on standard output.
        const Outcome r = run_in_folder(c.program, c.run);
        EXPECT_EQ(r.status, 0) << c.run << ": " << r.err;
        EXPECT_EQ(r.err, "") << c.run;
        EXPECT_EQ(r.left, c.made) << c.run;
    }
    fs::remove_all(d);
}
