// Faults around a running service: the image folder blocked, the file system
// full, readers polling the images while passes rewrite them, an update
// address or program that misbehaves, the log taken away. The service runs in
// the test process on the real clock with passes back to back (period 0); the
// console and the log are captured, images go to a real folder.

#include "app/zkQuoteForge.h"
#include "support/Indication_Tools.h"
#include "support/RemoteUpdate.h"
#include "support/SysProperties.h"
#include "tests/common/Loopback.h"
#include "tests/common/ReferenceDecoders.h"
#include "tests/common/TestPlatform.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using IT = Indication_Tools;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kRewritePasses = 150;  // sanitizers make each pass several times slower
#else
constexpr int kRewritePasses = 1000;
#endif

const std::string kConstruction = "[QuoteForge] : Construction ... ";
const char* const kCharts[] = {"lzw", "runs"};

std::optional<std::string> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    for (size_t e = text.find('\n'); e != std::string::npos; e = text.find('\n', pos)) {
        out.push_back(text.substr(pos, e - pos));
        pos = e + 1;
    }
    return out;
}

size_t countIn(const std::vector<std::string>& ls, const std::string& text) {
    size_t n = 0;
    for (const std::string& l : ls) n += l.find(text) != std::string::npos;
    return n;
}

std::set<std::string> entries(const fs::path& dir) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) names.insert(e.path().filename().string());
    return names;
}

// Descriptors open in this process.
size_t openDescriptors() {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) (void)e, ++n;
    return n;
}

// Children of this process that have ended and were never waited for.
std::vector<int> zombieChildren() {
    std::vector<int> found;
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(e.path() / "stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        int parent = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) == 2 && state == 'Z' &&
            parent == ::getpid())
            found.push_back(std::stoi(name));
    }
    return found;
}

// Counts the passes as they start, so waiting for passes never has to scan
// megabytes of captured console output.
class FaultPlatform : public TestPlatform {
public:
    void writeStdout(std::string_view text) override {
        if (text.rfind(kConstruction, 0) == 0) ++passes;
        TestPlatform::writeStdout(text);
    }
    std::atomic<size_t> passes{0};
};

class ServiceFaults : public ::testing::Test {
protected:
    void SetUp() override {
        platform.now = localMillis(2001, 11, 21, 18, 0, 0);
        platform.osNameValue = "Linux";
        reset();
        std::string tmpl = (fs::temp_directory_path() / "zkfaultsXXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        out = dir / "out";
        fs::create_directory(out);
        // Start-up lines always go to the default log: kept in memory.
        platform.setFile(IT::DEFAULT_LOG_FILE, "");
    }
    void TearDown() override {
        zkQuoteForge::discardApplication();
        setRemoteUpdateLimits(RemoteUpdateLimits{});
        reset();
        if (mounted_) ::umount2(out.c_str(), MNT_DETACH);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    static void reset() {
        IT::debugMode = false;
        IT::svcMemMonitor = false;
        SysProperties.store(nullptr);
    }

    // Two small charts: one written with the LZW coder, one run-length coded,
    // both also as PNG (the second with alpha).
    std::string charts() {
        std::string data;
        for (int64_t t = platform.now - 3 * 86400000LL, k = 0; t <= platform.now + 86400000LL; t += 1800000, ++k)
            data += IT::getBddDate(t) + ";" + IT::getBddTime(t) + ";" + std::to_string(4000 + (k * 37) % 500) + "\n";
        platform.setFile("faults.txt", data);
        std::string keys;
        int n = 0;
        for (const char* name : kCharts) {
            const bool lzw = std::string(name) == "lzw";
            platform.setFile(std::string(name) + ".ini",
                             "GRAPH_NAME=" + std::string(name) +
                                 "\nGRAPH_DATA_FILE=faults.txt\nGRAPH_DURATION_MODE=day\nGRAPH_DURATION_PERIOD=2\n"
                                 "GRAPH_PRINT_WIDTH=160\nGRAPH_PRINT_HEIGHT=90\n"
                                 "GRAPH_PRINT_GIF_LZWCOMPRESS=" + (lzw ? "yes" : "no") +
                                 "\nGRAPH_PRINT_GIF_NAME=" + image(name, "gif") +
                                 "\nGRAPH_PRINT_PNG_VALID=yes\nGRAPH_PRINT_PNG_ALPHA=" + (lzw ? "no" : "yes") +
                                 "\nGRAPH_PRINT_PNG_NAME=" + image(name, "png") + "\n");
            keys += "INDICEGIF_FILE_" + std::to_string(++n) + "=" + name + ".ini\n";
        }
        return keys;
    }
    std::string image(const std::string& name, const std::string& kind) const {
        return (out / (name + "." + kind)).string();
    }
    std::set<std::string> imageNames() const { return {"lzw.gif", "lzw.png", "runs.gif", "runs.png"}; }

    void start(const std::string& extra = "") {
        platform.setFile("zkQuoteForge.ini", "INDICEGIF_SERVICE=yes\nINDICEGIF_TIMER=0\n" + charts() + extra);
        zkQuoteForge::main({});
        ASSERT_NE(zkQuoteForge::application(), nullptr);
    }
    void stop() { zkQuoteForge::discardApplication(); }

    size_t passesStarted() { return platform.passes; }
    // Waits until n passes have ended after the ones started so far.
    bool awaitPasses(size_t n, std::chrono::seconds limit = 120s) {
        const size_t goal = passesStarted() + n + 1;  // a pass has ended once the next one starts
        for (auto end = Clock::now() + limit; Clock::now() < end;) {
            if (passesStarted() >= goal) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    // Writes a marker into the console capture, so checks can take the
    // passes on one side of it.
    void mark(const std::string& name) { platform.writeStdout("#MARK " + name + "\n"); }
    // The console lines of the k-th pass (0-based) started after the marker,
    // up to the start of the next one.
    std::vector<std::string> passAfter(const std::string& marker, size_t k) {
        const auto all = lines(platform.out());
        size_t i = 0;
        while (i < all.size() && all[i] != "#MARK " + marker) ++i;
        std::vector<std::string> pass;
        size_t seen = 0;
        for (; i < all.size(); ++i) {
            if (all[i].rfind(kConstruction, 0) == 0 && seen++ == k + 1) break;
            if (seen == k + 1) pass.push_back(all[i]);
        }
        return pass;
    }

    std::map<std::string, std::string> snapshot(const fs::path& folder) const {
        std::map<std::string, std::string> bytes;
        for (const std::string& name : imageNames()) bytes[name] = readBytes(folder / name).value_or("<missing>");
        return bytes;
    }
    // Every image decodes whole, at the chart's size.
    void expectWholeImages(const fs::path& folder) const {
        for (const std::string& name : imageNames()) {
            SCOPED_TRACE(name);
            const auto bytes = readBytes(folder / name);
            ASSERT_TRUE(bytes.has_value());
            std::string error;
            if (name.ends_with(".gif")) {
                const auto gif = ref::decodeGif(*bytes, &error);
                ASSERT_TRUE(gif.has_value()) << error;
                EXPECT_GE(gif->width, 160);
            } else {
                const auto png = ref::decodePng(*bytes, &error);
                ASSERT_TRUE(png.has_value()) << error;
                EXPECT_EQ(png->width, 161);
            }
        }
    }

    // Fills the file system holding path: whole pages first, then byte by
    // byte, until not one byte is left.
    static void fill(const fs::path& path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const std::string block(4096, '\0');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        while (::write(fd, block.data(), 1) > 0) {
        }
        ::close(fd);
    }

    // An outage of the image folder: images written, fault on for a few
    // passes, fault off. Checks what a web server relying on the images sees.
    void outage(const std::function<void()>& on, const std::function<void()>& off, const fs::path& heldIn) {
        start();
        ASSERT_TRUE(awaitPasses(2));
        expectWholeImages(out);
        const auto before = snapshot(out);

        on();
        mark("fault");
        ASSERT_TRUE(awaitPasses(3));
        // Passes 1 and 2 after the marker ran wholly under the fault: each
        // chart reports each failed file once, and its result line names them.
        for (size_t k : {1u, 2u}) {
            const auto pass = passAfter("fault", k);
            SCOPED_TRACE("pass " + std::to_string(k) + " of the fault");
            EXPECT_EQ(countIn(pass, "[Indication_Graph] : Error during the writing of the GIF : "), 2u);
            EXPECT_EQ(countIn(pass, "[Indication_Graph] : Error during the writing of the PNG : "), 2u);
            for (const char* name : kCharts)
                EXPECT_EQ(countIn(pass, std::string("[QuoteForge] :  - file... ") + name + ".ini: GIF failed!; PNG failed!"),
                          1u);
        }
        // The images a reader gets are the previous ones, byte for byte, and
        // no temporary file is left beside them: one may exist while a pass
        // writes, but its random name never outlives two more passes.
        EXPECT_EQ(snapshot(heldIn), before);
        const auto earlier = entries(heldIn);
        ASSERT_TRUE(awaitPasses(2));
        std::set<std::string> stayed;
        for (const std::string& name : entries(heldIn))
            if (earlier.count(name) && !imageNames().count(name) && name != "filler") stayed.insert(name);
        EXPECT_EQ(stayed, std::set<std::string>{});
        EXPECT_EQ(snapshot(heldIn), before);

        // Marked once the fault is gone, so that no pass after the marker
        // began under it, however long this thread waits in between.
        off();
        mark("space");
        ASSERT_TRUE(awaitPasses(2));
        const auto pass = passAfter("space", 1);
        for (const char* name : kCharts)
            EXPECT_EQ(countIn(pass, std::string("[QuoteForge] :  - file... ") + name + ".ini: GIF ok; PNG ok; done"), 1u);
        stop();
        EXPECT_EQ(entries(out), imageNames());
        expectWholeImages(out);
    }

    ScopedTimeZone zone{"Europe/Paris"};
    FaultPlatform platform;
    fs::path dir, out;
    bool mounted_ = false;
};

// ---- Image files ------------------------------------------------------------------

TEST_F(ServiceFaults, BlockedImageFolderKeepsThePreviousImagesAndRecovers) {
    platform.captureAllAppends();
    // As root, permissions stop nothing: a file in the folder's place does.
    const fs::path away = dir / "out.away";
    outage(
        [&] {
            fs::rename(out, away);
            std::ofstream(out) << "not a folder";
        },
        [&] {
            fs::remove(out);
            fs::rename(away, out);
        },
        away);
}

// A small tmpfs filled up where the machine lets us mount one; otherwise a
// file-size limit, in a child process (the limit is per process) that ignores
// SIGXFSZ so writes fail with EFBIG as they would with ENOSPC.
TEST_F(ServiceFaults, FullFileSystemKeepsThePreviousImagesAndRecoversWithTheSpace) {
    platform.captureAllAppends();
    mounted_ = ::mount("tmpfs", out.c_str(), "tmpfs", 0, "size=512k") == 0;
    if (mounted_) {
        const fs::path filler = out / "filler";
        outage(
            [&] {
                // A pass caught writing when the disk fills gives back the
                // room its temporary file held, and one that still replaces
                // an image frees the old one's: fill again until a whole pass
                // has failed. From then on every write takes what little is
                // left, fails and gives it back, so the disk stays full.
                for (int round = 0; round < 20; ++round) {
                    fill(filler);
                    const std::string filled = "filled " + std::to_string(round);
                    mark(filled);
                    ASSERT_TRUE(awaitPasses(2));
                    const auto pass = passAfter(filled, 1);
                    if (countIn(pass, "Error during the writing of the GIF : ") == 2 &&
                        countIn(pass, "Error during the writing of the PNG : ") == 2)
                        return;
                }
                FAIL() << "the file system never stayed full";
            },
            [&] { fs::remove(filler); }, out);
        return;
    }
    std::cout << "no tmpfs here: a file-size limit stands in for the full disk\n";
    std::cout.flush();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        alarm(600);
        struct rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlim_t hard = limit.rlim_max;
        outage(
            [&] {
                struct rlimit small{64, hard};
                setrlimit(RLIMIT_FSIZE, &small);
            },
            [&] {
                struct rlimit back{hard, hard};
                setrlimit(RLIMIT_FSIZE, &back);
            },
            out);
        std::fflush(stdout);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child was killed";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "see the child's failures above";
}

TEST_F(ServiceFaults, ReadersPollingWhilePassesRewriteOnlyEverSeeWholeImages) {
    platform.captureAllAppends();
    start();
    ASSERT_TRUE(awaitPasses(1));
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::vector<std::string> bad;
    std::thread reader([&] {
        const auto names = imageNames();
        while (!done) {
            for (const std::string& name : names) {
                const auto bytes = readBytes(out / name);
                std::string error;
                bool whole = false;
                if (bytes && name.ends_with(".gif")) {
                    const auto gif = ref::decodeGif(*bytes, &error);
                    whole = gif && gif->width >= 160 && gif->indexes.size() == size_t(gif->width) * gif->height;
                } else if (bytes) {
                    const auto png = ref::decodePng(*bytes, &error);
                    whole = png && png->width == 161 && png->argb.size() == 161u * 91u;
                }
                if (!whole) bad.push_back(name + ": " + (bytes ? error : "missing"));
                ++reads;
            }
            // A web server's pace, not a busy loop that starves the passes.
            std::this_thread::sleep_for(1ms);
        }
    });
    // The clock swings between two times, so passes draw two different
    // windows: a file mixing two writes would not decode.
    const int64_t base = platform.now;
    const size_t first = passesStarted();
    for (int i = 0; passesStarted() < first + kRewritePasses + 1; ++i) {
        platform.now = base + (i % 2) * 3600000;
        std::this_thread::sleep_for(1ms);
    }
    done = true;
    reader.join();
    stop();
    EXPECT_TRUE(bad.empty()) << bad.size() << " of " << reads.load() << " reads, first: " << bad.front();
    EXPECT_GE(reads.load(), kRewritePasses) << "the reader hardly ran";
    EXPECT_EQ(entries(out), imageNames());
    std::cout << reads.load() << " reads over " << kRewritePasses << " passes\n";
}

// ---- Update address -----------------------------------------------------------------

TEST_F(ServiceFaults, UpdateAddressThatStallsLoopsOrRedirectsAwayNeverHoldsThePasses) {
    platform.captureAllAppends();
    RemoteUpdateLimits limits;
    limits.http.connectTimeoutMs = 500;
    limits.http.totalTimeoutMs = 1'000;
    setRemoteUpdateLimits(limits);

    httplib::Server server;
    std::mutex mutex;
    std::vector<std::string> otherHostGot;
    server.Get("/loop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });
    server.Get("/to-ftp", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("ftp://127.0.0.1/data.txt");
    });
    int port = server.bind_to_any_port("127.0.0.1");
    server.Get("/to-other-host", [&](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("http://localhost:" + std::to_string(port) + "/other");
    });
    server.Get("/other", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(mutex);
        std::string seen = req.target;
        for (const auto& [k, v] : req.headers) seen += "\n" + k + ": " + v;
        otherHostGot.push_back(seen);
        res.set_content("ok", "text/plain");
    });
    std::thread serving([&] { server.listen_after_bind(); });
    for (int i = 0; i < 1000 && !server.is_running(); ++i) std::this_thread::sleep_for(5ms);

    LoopbackSocket silent(true);
    TricklingServer trickling("", "HTTP/1.1 200 OK\r\n\r\n");
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    const std::pair<const char*, std::string> addresses[] = {
        {"never answers", "http://127.0.0.1:" + std::to_string(silent.port()) + "/"},
        {"one byte a second", trickling.url()},
        {"redirect loop", base + "/loop"},
        {"redirect to ftp", base + "/to-ftp"},
        {"redirect to another host", base + "/to-other-host"},
    };
    for (const auto& [what, url] : addresses) {
        SCOPED_TRACE(what);
        platform.clearOut();
        start("INDICEGIF_URLUPDATE_VALID=yes\nINDICEGIF_URLUPDATE_URL=" + url +
              "\nINDICEGIF_URLUPDATE_LOGIN=user\nINDICEGIF_URLUPDATE_PASSWORD=Sesame42\n");
        const auto started = Clock::now();
        ASSERT_TRUE(awaitPasses(2, 60s));
        // Two passes, each bounded by the one-second exchange and its
        // half-second connection, plus the drawing.
        EXPECT_LT(Clock::now() - started, 15s);
        stop();
        const auto console = lines(platform.out());
        EXPECT_GE(countIn(console, "[QuoteForge] : Updating "), 2u);
        EXPECT_GE(countIn(console, "GIF ok; PNG ok; done"), 4u);
        if (std::string(what) != "redirect to another host") {
            EXPECT_EQ(countIn(console, "[QuoteForge] : Updating ok"), 0u);
        }
        EXPECT_EQ(platform.out().find("Sesame42"), std::string::npos);
    }
    server.stop();
    serving.join();

    // The password reached neither the console, nor the log, nor the other host.
    const std::string encoded = *IT::base64Encode(std::string("user:Sesame42"));
    EXPECT_EQ(platform.file(IT::DEFAULT_LOG_FILE).find("Sesame42"), std::string::npos);
    EXPECT_EQ(platform.file(IT::DEFAULT_LOG_FILE).find(encoded), std::string::npos);
    ASSERT_FALSE(otherHostGot.empty());
    for (const std::string& request : otherHostGot) {
        EXPECT_EQ(request.find("Authorization"), std::string::npos) << request;
        EXPECT_EQ(request.find(encoded), std::string::npos) << request;
    }
}

// ---- Update program -----------------------------------------------------------------

TEST_F(ServiceFaults, UpdateProgramThatFailsDiesHangsFloodsOrLeavesAChildNeverStopsTheService) {
    platform.captureAllAppends();
    const auto script = [&](const std::string& name, const std::string& body) {
        const fs::path path = dir / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    };
    struct Case {
        const char* what;
        std::string program;
        const char* result;
    };
    const Case cases[] = {
        {"exits 3", script("fails.sh", "echo failing; exit 3"), "[QuoteForge] : EXE Updating failed : 3"},
        {"killed by a signal", script("killed.sh", "echo dying; kill -9 $$"), "[QuoteForge] : EXE Updating failed : 137"},
        {"hangs", script("hangs.sh", "echo hanging; exec sleep 60"), "[QuoteForge] : EXE Updating failed : -2"},
        {"floods both streams",
         script("floods.sh", "head -c 3000000 /dev/zero >&2 & head -c 3000000 /dev/zero | tr '\\0' x; wait"),
         "[QuoteForge] : EXE Updating ok"},
        {"leaves a grandchild holding its output",
         script("leaves.sh", "sleep 30 &\necho $! >> '" + (dir / "left.pids").string() + "'\necho left"),
         "[QuoteForge] : EXE Updating ok"},
    };
    size_t descriptors = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // What bounds a hung program, shortened for the hanging one only (a
        // flood on a busy machine may take longer); and what bounds a
        // grandchild holding the output.
        RemoteUpdateLimits limits;
        if (std::string(c.what) == "hangs") limits.process.maxRunMs = 500;
        limits.process.outputGraceMs = 300;
        setRemoteUpdateLimits(limits);
        platform.clearOut();
        start("INDICEGIF_EXEUPDATE_VALID=yes\nINDICEGIF_EXEUPDATE_FILENAME=" + c.program + "\n");
        ASSERT_TRUE(awaitPasses(2, 60s));
        stop();
        const auto console = lines(platform.out());
        EXPECT_GE(countIn(console, c.result), 2u);
        EXPECT_GE(countIn(console, "GIF ok; PNG ok; done"), 4u);
        EXPECT_EQ(zombieChildren(), std::vector<int>{});
        // The first service opened the fonts, which stay open for good.
        if (descriptors == 0) descriptors = openDescriptors();
    }
    // Whatever the programs did, the service holds no more descriptors than before.
    EXPECT_EQ(openDescriptors(), descriptors);
    std::ifstream pids(dir / "left.pids");
    for (pid_t pid; pids >> pid;) ::kill(pid, SIGKILL);
}

// ---- The log ------------------------------------------------------------------------

TEST_F(ServiceFaults, LogRemovedOrTakenByADirectoryCostsOnlyThoseLines) {
    const fs::path log = dir / "service.log";
    start("INDICEGIF_LOG=" + log.string() + "\n");
    ASSERT_TRUE(awaitPasses(2));
    ASSERT_TRUE(fs::exists(log));

    // Removed: the next line creates it again.
    fs::remove(log);
    ASSERT_TRUE(awaitPasses(2));
    EXPECT_TRUE(fs::exists(log));

    // A directory in its place: every lost line is one console report, the
    // passes go on.
    fs::rename(log, dir / "service.log.1");
    fs::create_directory(log);
    mark("directory");
    ASSERT_TRUE(awaitPasses(3));
    const auto pass = passAfter("directory", 1);
    EXPECT_GE(countIn(pass, "[System] : write log error: "), 3u);
    EXPECT_EQ(countIn(pass, "GIF ok; PNG ok; done"), 2u);

    fs::remove(log);
    mark("back");
    ASSERT_TRUE(awaitPasses(2));
    stop();
    EXPECT_EQ(countIn(passAfter("back", 1), "[System] : write log error: "), 0u);
    const std::string text = readBytes(log).value_or("");
    EXPECT_NE(text.find("] GIF Construction now.\r\n"), std::string::npos);
    for (const std::string& l : lines(text)) EXPECT_TRUE(l.size() > 22 && l[0] == '[' && l.back() == '\r') << l;
}

}  // namespace
