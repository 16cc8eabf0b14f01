// `mirelo-calc register listen` with real DICOM traffic: Debian's storescu and echoscu (dcmtk) send
// reports generated here to the service on a free loopback port; the register (read in the
// database itself) must then hold exactly what was accepted.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "report_writer.h"
#include "tests/calc/run_tool.h"

namespace {

namespace fs = std::filesystem;
namespace gen = mirelo::rdsrgen;
using mirelo::test::Quoted;
using mirelo::test::Slurp;

std::set<std::string> Column(const fs::path& db, const std::string& sql) {
    std::set<std::string> values;
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(h, 5000);
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(h, sql.c_str(), -1, &s, nullptr) == SQLITE_OK) {
            while (sqlite3_step(s) == SQLITE_ROW) {
                const auto* p = sqlite3_column_text(s, 0);
                values.insert(p != nullptr ? reinterpret_cast<const char*>(p) : "");
            }
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(h);
    return values;
}

// A port nobody listens on now (the kernel's choice for port 0).
int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(s);
    return ntohs(a.sin_port);
}

struct Sent {
    int status;
    std::string output;
};

// Runs a dcmtk tool, bounded in time, with its output.
Sent Dcmtk(const std::string& command, const fs::path& scratch) {
    const fs::path out = scratch / "dcmtk.out";
    const int raw = std::system(("timeout 60 " + command + " >" + Quoted(out.string()) + " 2>&1").c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out)};
}

class Listener {
public:
    Listener(const fs::path& scratch, const std::vector<std::string>& extra) : scratch_(scratch), port_(FreePort()) {
        std::vector<std::string> args{MIRELO_CALC_EXE, "register", "listen", "--db", (scratch / "register.sqlite").string(),
                                      "--port", std::to_string(port_), "--tables", MIRELO_SOURCE_DATA_DIR};
        args.insert(args.end(), extra.begin(), extra.end());
        log_ = scratch / ("listener-" + std::to_string(port_) + ".log");
        pid_ = ::fork();
        if (pid_ == 0) {
            std::freopen(log_.c_str(), "w", stderr);
            std::freopen("/dev/null", "w", stdout);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~Listener() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // True once it answers a C-ECHO (within 30 s).
    bool Ready(const std::string& address = "127.0.0.1") {
        for (int i = 0; i < 150; ++i) {
            if (Dcmtk("echoscu -aet STORESCU -aec MIRELO " + address + " " + std::to_string(port_), scratch_).status == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }
    // SIGTERM; the exit status, or -1 when it did not stop within 20 s.
    int Stop() {
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 200; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return -1;
    }
    int Port() const { return port_; }
    std::string Log() const { return Slurp(log_); }

private:
    fs::path scratch_, log_;
    int port_;
    pid_t pid_ = -1;
};

// Reports written in a folder: `count` studies of `events` fluoroscopy events each.
std::vector<fs::path> WriteStudies(const fs::path& folder, const std::string& uidRoot, int count, int events) {
    std::vector<fs::path> files;
    fs::create_directories(folder);
    for (int r = 1; r <= count; ++r) {
        gen::ReportSpec plan;
        plan.studyUid = uidRoot + "." + std::to_string(r);
        plan.observerUid = "1.2.826.0.1.3680043.10.1309.7";
        for (int e = 1; e <= events; ++e) {
            gen::EventSpec ev;
            ev.uid = plan.studyUid + "." + std::to_string(e);
            ev.type = gen::Fluoroscopy();
            ev.plane = gen::SinglePlane();
            ev.dap = gen::NumSpec{"2.5E-4", "Gy.m2"};
            ev.kvp = {"75"};
            plan.events.push_back(ev);
        }
        files.push_back(folder / ("r" + std::to_string(r) + ".dcm"));
        EXPECT_EQ(gen::WriteReport(plan, files.back()), "");
    }
    return files;
}

class RegisterListener : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(std::system("command -v storescu >/dev/null && command -v echoscu >/dev/null"), 0)
            << "storescu and echoscu are needed (Debian package dcmtk; scripts/setup.sh --test installs it)";
        scratch_ = fs::temp_directory_path() / ("mirelo-listener-test-" + std::to_string(::getpid()));
        fs::remove_all(scratch_);
        fs::create_directories(scratch_ / "out");
        db_ = scratch_ / "register.sqlite";
        reports_ = WriteStudies(scratch_ / "out", "1.2.826.0.1.3680043.10.1350", 3, 4);
        ASSERT_FALSE(HasFailure());
        ASSERT_EQ(gen::WriteImage(scratch_ / "ct.dcm", "1.2.840.10008.5.1.4.1.1.2"), "");  // CT Image Storage
    }
    void TearDown() override { fs::remove_all(scratch_); }

    std::string Files() const {
        std::string files;
        for (const auto& f : reports_) {
            files += ' ';
            files += Quoted(f.string());
        }
        return files;
    }

    fs::path scratch_, db_;
    std::vector<fs::path> reports_;
};

TEST_F(RegisterListener, HoldsExactlyWhatAllowedSendersStored) {
    Listener listener(scratch_, {"--allow", "STORESCU", "--allow", "PACS@127.0.0.1", "--allow", "FARAWAY@192.0.2.1"});
    ASSERT_TRUE(listener.Ready()) << listener.Log();
    const std::string to = " -aec MIRELO 127.0.0.1 " + std::to_string(listener.Port());
    const std::set<std::string> studies{"1.2.826.0.1.3680043.10.1350.1", "1.2.826.0.1.3680043.10.1350.2",
                                        "1.2.826.0.1.3680043.10.1350.3"};
    struct Case {
        const char* what;
        std::string command;
        bool accepted;              // storescu's exit status 0
        std::string says;           // in storescu's output
        std::size_t reports;        // held afterwards
    };
    const Case cases[] = {
        {"an allowed sender", "storescu -aet STORESCU" + to + Files(), true, "", 3},
        {"the same files again", "storescu -aet STORESCU" + to + Files(), true, "", 3},
        {"allowed from its address", "storescu -aet PACS" + to + Files(), true, "", 3},
        {"allowed from another address only", "storescu -aet FARAWAY" + to + Files(), false, "Calling AE Title Not Recognized", 3},
        {"a calling AE title not allowed", "storescu -aet INTRUDER" + to + Files(), false, "Calling AE Title Not Recognized", 3},
        {"another called AE title", "storescu -aet STORESCU -aec ELSEWHERE 127.0.0.1 " + std::to_string(listener.Port()) + Files(),
         false, "Called AE Title Not Recognized", 3},
        // Its presentation context is refused in the association negotiation.
        {"a CT image", "storescu -aet STORESCU" + to + " " + Quoted((scratch_ / "ct.dcm").string()), false,
         "No presentation context for: (CT)", 3},
        {"echo from a caller not allowed", "echoscu -aet INTRUDER" + to, false, "Calling AE Title Not Recognized", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Sent sent = Dcmtk(c.command, scratch_);
        EXPECT_EQ(sent.status == 0, c.accepted) << sent.output;
        EXPECT_NE(sent.output.find(c.says), std::string::npos) << sent.output;
        EXPECT_EQ(Column(db_, "SELECT study_uid FROM studies"), studies);
        EXPECT_EQ(Column(db_, "SELECT id FROM reports").size(), c.reports);
        EXPECT_EQ(Column(db_, "SELECT id FROM events").size(), 4 * c.reports);
    }
    EXPECT_EQ(Column(db_, "SELECT source FROM reports"), std::set<std::string>{"dicom:STORESCU@127.0.0.1"});
    // One archived file per stored report, for this account only.
    std::size_t archived = 0;
    for (const auto& entry : fs::directory_iterator(scratch_ / "archive")) {
        ++archived;
        EXPECT_EQ(fs::status(entry).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    }
    EXPECT_EQ(archived, 3u);
    EXPECT_EQ(fs::status(scratch_ / "archive").permissions() & fs::perms::all, fs::perms::owner_all);

    EXPECT_EQ(listener.Stop(), 0) << listener.Log();
    EXPECT_NE(listener.Log().find("stopped"), std::string::npos);
}


// The listener and an import write to one database at the same time: both finish, each report is
// stored once with all its events, and the file stays whole.
TEST_F(RegisterListener, SharesItsDatabaseWithARunningImport) {
    constexpr int kImported = 200, kSent = 30, kEvents = 20;
    WriteStudies(scratch_ / "bulk", "1.2.826.0.1.3680043.10.1351", kImported, kEvents);
    std::string sent;
    for (const auto& f : WriteStudies(scratch_ / "sent", "1.2.826.0.1.3680043.10.1352", kSent, kEvents)) {
        sent += ' ';
        sent += Quoted(f.string());
    }
    Listener listener(scratch_, {});
    ASSERT_TRUE(listener.Ready()) << listener.Log();

    const fs::path importLog = scratch_ / "import.log";
    int importStatus = -1;
    std::thread import([&] {
        std::string command = "timeout 300 ";
        command += Quoted(MIRELO_CALC_EXE);
        command += " register import " + Quoted((scratch_ / "bulk").string()) + " --db " + Quoted(db_.string());
        command += " --tables " + Quoted(MIRELO_SOURCE_DATA_DIR) + " >" + Quoted(importLog.string()) + " 2>&1";
        const int raw = std::system(command.c_str());
        importStatus = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    });
    // Sent once the import has begun to commit.
    for (int i = 0; i < 600 && Column(db_, "SELECT id FROM reports").empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const Sent stored = Dcmtk("storescu -aet STORESCU -aec MIRELO 127.0.0.1 " + std::to_string(listener.Port()) + sent, scratch_);
    import.join();
    EXPECT_EQ(stored.status, 0) << stored.output << listener.Log();
    EXPECT_EQ(importStatus, 0) << Slurp(importLog);
    EXPECT_NE(Slurp(importLog).find(std::to_string(kImported) + " reports added"), std::string::npos) << Slurp(importLog);

    EXPECT_EQ(Column(db_, "PRAGMA integrity_check"), std::set<std::string>{"ok"});
    EXPECT_EQ(Column(db_, "SELECT id FROM reports").size(), std::size_t{kImported + kSent});
    EXPECT_EQ(Column(db_, "SELECT id FROM reports WHERE source LIKE 'dicom:%'").size(), std::size_t{kSent});
    EXPECT_EQ(Column(db_, "SELECT study_id FROM study_totals WHERE used = " + std::to_string(kEvents)).size(),
              std::size_t{kImported + kSent});
    EXPECT_EQ(Column(db_, "SELECT id FROM events").size(), std::size_t{(kImported + kSent) * kEvents});
    EXPECT_EQ(Column(db_, "SELECT event_id FROM results").size(), std::size_t{(kImported + kSent) * kEvents});
    // They did overlap: a received report was committed between two imported ones.
    EXPECT_EQ(Column(db_, "SELECT MIN(id) < (SELECT MAX(id) FROM reports WHERE source NOT LIKE 'dicom:%') FROM reports "
                          "WHERE source LIKE 'dicom:%'"),
              std::set<std::string>{"1"});
    EXPECT_EQ(listener.Stop(), 0) << listener.Log();
}

// A report over the size limit is refused with a failure status and the reason, and is not written
// past the limit while it arrives; the port is bound to the --bind address alone.
TEST_F(RegisterListener, RefusesWhatItCannotStoreWithItsReason) {
    // Some hundred kB, which arrive in pieces of at most 16 kB (the listener's PDU size).
    const fs::path big = WriteStudies(scratch_ / "big", "1.2.826.0.1.3680043.10.1353", 1, 400).front();
    constexpr std::uintmax_t kLimit = 52428;  // --max-size 0.05 (MB)
    ASSERT_GT(fs::file_size(big), 3 * kLimit);
    Listener listener(scratch_, {"--max-size", "0.05", "--bind", "127.0.0.2"});
    ASSERT_TRUE(listener.Ready("127.0.0.2")) << listener.Log();
    const std::string port = " " + std::to_string(listener.Port());
    // storescu -d shows the response: its status and error comment.
    const Sent refused = Dcmtk("storescu -d -aec MIRELO 127.0.0.2" + port + " " + Quoted(big.string()), scratch_);
    EXPECT_NE(refused.output.find("0xa700: Refused: Out of resources"), std::string::npos) << refused.output;
    EXPECT_NE(refused.output.find("over the limit"), std::string::npos) << refused.output;
    const std::string log = listener.Log();
    const auto at = log.find("written up to byte ");
    ASSERT_NE(at, std::string::npos) << log;
    const std::uintmax_t writtenUpTo = std::stoull(log.substr(at + 19));
    EXPECT_GT(writtenUpTo, kLimit) << log;
    EXPECT_LE(writtenUpTo, kLimit + 16384) << log;
    // The association stays usable after the refusal: a small report on it is stored.
    const Sent both = Dcmtk("storescu --no-halt -aec MIRELO 127.0.0.2" + port + " " + Quoted(big.string()) + " " +
                            Quoted(reports_[0].string()), scratch_);
    EXPECT_EQ(Column(db_, "SELECT study_uid FROM studies"), std::set<std::string>{"1.2.826.0.1.3680043.10.1350.1"}) << both.output << listener.Log();

    // Bound to 127.0.0.2: the kernel itself refuses a connection to 127.0.0.1 on that port.
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in other{};
    other.sin_family = AF_INET;
    other.sin_port = htons(static_cast<std::uint16_t>(listener.Port()));
    other.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int connected = ::connect(s, reinterpret_cast<sockaddr*>(&other), sizeof other);
    const int error = errno;
    ::close(s);
    EXPECT_EQ(connected, -1);
    EXPECT_EQ(error, ECONNREFUSED);
    EXPECT_EQ(listener.Stop(), 0) << listener.Log();

    // An address this machine does not have cannot be bound: the listener does not start.
    const fs::path out = scratch_ / "nowhere.log";
    std::string command = "timeout 20 ";
    command += Quoted(MIRELO_CALC_EXE);
    command += " register listen --bind 192.0.2.1 --port " + std::to_string(listener.Port()) + " --db " +
               Quoted(db_.string()) + " --tables " + Quoted(MIRELO_SOURCE_DATA_DIR) + " >" + Quoted(out.string()) + " 2>&1";
    const int raw = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1) << Slurp(out);
    EXPECT_NE(Slurp(out).find("--bind 192.0.2.1"), std::string::npos) << Slurp(out);
}

}  // namespace
