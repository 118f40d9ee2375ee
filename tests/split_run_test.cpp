// The recipe that spreads a folder tree over several machines (GNU parallel,
// with job slots of this machine and an sshd on the loopback standing in for
// them) gives what one folder run gives: the same JPEG files, byte for byte,
// and the same report.

#include "support/fax_fixtures.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

namespace pagelift::testing {
namespace {

namespace fs = std::filesystem;

// Every file below `root`, by its path relative to it, with its bytes.
std::map<std::string, std::vector<uint8_t>> treeOf(const fs::path& root)
{
    std::map<std::string, std::vector<uint8_t>> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = readBytes(entry.path().string());
    }
    return files;
}

// The report's lines with the destination folder written as DEST, in order
// of their text: the recipe reports in file-name order, a folder run in the
// order the folder lists its files.
std::vector<std::string> reportLines(const std::string& report, const std::string& destination)
{
    std::vector<std::string> lines;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) {
        for (size_t at = line.find(destination); at != std::string::npos; at = line.find(destination, at)) {
            line.replace(at, destination.size(), "DEST");
        }
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// An sshd of the test's own on 127.0.0.1, with its own host key and a key
// for this user: the machine the recipe reaches through ssh.
class LoopbackSshd {
public:
    explicit LoopbackSshd(const ScratchFolder& scratch) : folder_(scratch / "sshd")
    {
        fs::create_directories(folder_);
        const std::string keys = "cd " + shellQuoted(folder_.string()) +
                                 " && ssh-keygen -q -t ed25519 -N '' -f host_key && ssh-keygen -q -t ed25519 -N '' -f "
                                 "client_key && cp client_key.pub authorized_keys";
        if (!runQuietly(keys)) return;
        if (getuid() == 0) fs::create_directories("/run/sshd");  // sshd's privilege separation
        for (int attempt = 0; attempt < 20 && pid_ < 0; ++attempt) {
            port_ = 20000 + int((getpid() * 7 + attempt * 131) % 20000);
            writeText((folder_ / "config").string(),
                      "Port " + std::to_string(port_) + "\nListenAddress 127.0.0.1\nHostKey " +
                          (folder_ / "host_key").string() + "\nAuthorizedKeysFile " +
                          (folder_ / "authorized_keys").string() + "\nPidFile " + (folder_ / "sshd.pid").string() +
                          "\nStrictModes no\nUsePAM no\nPasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                          "PermitRootLogin prohibit-password\n");
            const pid_t child = fork();
            if (child == 0) {
                execl("/usr/sbin/sshd", "/usr/sbin/sshd", "-D", "-e", "-f", (folder_ / "config").c_str(), static_cast<char*>(nullptr));
                _exit(127);
            }
            // It listens once a login through it works (at most 10 s).
            for (int wait = 0; wait < 100; ++wait) {
                if (runQuietly(ssh() + " 127.0.0.1 true")) {
                    pid_ = child;
                    break;
                }
                int status = 0;
                if (waitpid(child, &status, WNOHANG) == child) break;  // the port was taken: try another
                usleep(100000);
            }
            if (pid_ < 0) {
                kill(child, SIGKILL);
                waitpid(child, nullptr, 0);
            }
        }
    }
    ~LoopbackSshd()
    {
        if (pid_ < 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    bool running() const { return pid_ > 0; }
    // The ssh command that reaches it with the test's key.
    std::string ssh() const
    {
        return "ssh -p " + std::to_string(port_) + " -i " + (folder_ / "client_key").string() +
               " -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o BatchMode=yes -o LogLevel=ERROR";
    }

private:
    fs::path folder_;
    int port_ = 0;
    pid_t pid_ = -1;
};

TEST(SplitRun, MachinesGiveWhatOneFolderRunGives)
{
    if (!missingTool({"parallel"}).empty()) GTEST_SKIP() << "needs GNU parallel";
    const ScratchFolder scratch;
    const fs::path source = scratch / "faxes";
    fs::create_directories(source / "from the office");
    for (const fs::directory_entry& sample : fs::directory_iterator(fs::path(PAGELIFT_SOURCE_DIR) / "samples")) {
        fs::copy_file(sample.path(), source / sample.path().filename());
        fs::copy_file(sample.path(), source / "from the office" / ("copy of " + sample.path().filename().string()));
    }
    // Names that meet (a two-page fax and its first page's name) and names
    // with blanks and quotes.
    fs::copy_file(source / "letter-g3.tif", source / "fax.tif");
    fs::copy_file(source / "memo-g4.tif", source / "fax001.tif");
    fs::copy_file(source / "memo-g4.tif", source / "from the office" / "it's \"urgent\".tif");
    writeText((source / "notes.txt").string(), "not a fax");
    writeText((source / "from the office" / "scan.jpg").string(), "already a picture");
    writeText((source / "from the office" / "broken.tif").string(), "no TIFF at all");

    // The filter reaches the listing: call.g3 and scan.jpg are left out.
    const std::string serial = (scratch / "serial").string();
    const faxtest::CommandResult one = faxtest::runShell(
        PLIFTCMD_PATH " /log= /i /kh /qa=80 /filter=*f* " + shellQuoted("/d=" + source.string()) + " " +
            shellQuoted("/sd=" + serial),
        scratch.path().string());
    ASSERT_EQ(one.exitCode, 0) << one.err;
    const auto serialFiles = treeOf(serial);
    EXPECT_GT(serialFiles.size(), 10u);

    const passwd* account = getpwuid(geteuid());
    const std::string user = account != nullptr ? account->pw_name : "root";
    const LoopbackSshd sshd(scratch);
    struct Case {
        const char* name;
        std::string machines;  // split-run.sh's options that name them
    };
    std::vector<Case> cases = {{"job slots of this machine", "-S 3/:"}};
    if (sshd.running()) cases.push_back({"an sshd on 127.0.0.1", "-S 2/" + user + "@127.0.0.1,1/: -s " + shellQuoted(sshd.ssh())});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string spread = (scratch / "spread").string();
        fs::remove_all(spread);
        const faxtest::CommandResult many = faxtest::runShell(
            "PLIFTCMD=" PLIFTCMD_PATH " " PAGELIFT_SOURCE_DIR "/scripts/split-run.sh " + c.machines + " " +
                shellQuoted(source.string()) + " " + shellQuoted(spread) + " /qa=80 /filter=*f*",
            scratch.path().string());
        ASSERT_EQ(many.exitCode, 0) << many.err;
        EXPECT_TRUE(serialFiles == treeOf(spread)) << "the JPEG files differ";
        EXPECT_EQ(reportLines(many.out, spread), reportLines(one.out, serial));
    }

    // A machine whose pliftcmd cannot convert: the recipe says so by its
    // exit status, even though the merged report still comes out.
    const std::string broken = scratch.file("broken-pliftcmd");
    writeText(broken, std::string("#!/bin/sh\ncase \"$*\" in *\" /list\"*) exec ") + PLIFTCMD_PATH + " \"$@\" ;; esac\nexit 3\n");
    fs::permissions(broken, fs::perms::owner_all);
    const faxtest::CommandResult failing = faxtest::runShell(
        "PLIFTCMD=" + shellQuoted(broken) + " " PAGELIFT_SOURCE_DIR "/scripts/split-run.sh -S 2/: " +
            shellQuoted(source.string()) + " " + shellQuoted((scratch / "failing").string()),
        scratch.path().string());
    EXPECT_EQ(failing.exitCode, 1) << failing.out << failing.err;
    if (!sshd.running()) GTEST_SKIP() << "no sshd to start (openssh-server, scripts/install-deps.sh --test): only job slots ran";
}

}  // namespace
}  // namespace pagelift::testing
