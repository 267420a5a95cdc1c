// Start-up, command line and the application object.

#include "app/zkQuoteForge.h"
#include "platform/SystemPlatform.h"

#include "support/Indication_Tools.h"
#include "support/Platform.h"
#include "support/SysProperties.h"
#include "support/Utf8.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <mutex>

namespace {

using IT = Indication_Tools;

// The object main built. Never freed at process exit: worker threads may
// still be running on it then.
std::atomic<zkQuoteForge*> theApplication{nullptr};
// The object whose teardown runs at process exit.
std::atomic<zkQuoteForge*> exitTeardown{nullptr};

void teardownAtExit() {
    if (zkQuoteForge* app = exitTeardown.exchange(nullptr)) app->teardown();
}

}  // namespace

const std::string zkQuoteForge::about = std::string("\n  ") + ZeProgram + " v" + ZeVersion + " of " + ZeDate +
                                        " (last: " + ZeDateModif + ")\n\n  [-h for help]\n";

const std::string zkQuoteForge::help =
    "\n"
    " -h / -?    : this help\n"
    " -v         : verbose mode\n"
    " -m         : memory watcher (to memory.txt)\n"
    " -unique    : one generation of images (exit after)\n"
    " -DataMaker : generate data (sinus in period -7 days to +3 days)\n";

// ---- Entry --------------------------------------------------------------------

int zkQuoteForge::runProcess(const std::vector<std::string>& args) {
    // The system's platform, time zone and signal settings first.
    ProcessSetup::atEntry();
    // SIGTERM, SIGINT, Ctrl-C and Ctrl-Break stop the application after the pass in progress.
    Platform::current().watchStopRequests([] { requestStop(); });
    if (main(args) != 0) return 1;
    return waitForEnd();
}

int zkQuoteForge::main(const std::vector<std::string>& args) {
    Platform& platform = Platform::current();
    std::string os;
    IT::szSystemOS = platform.osName(os) ? os : "unknown system";
    char separator = '\\';
    IT::fileSeparator = platform.fileSeparator(separator) ? separator : '\\';

    platform.writeStdout(about + "\n");

    bool unique = false;
    for (const std::string& arg : args) {
        const std::string option = utf8::asciiLower(arg);
        if (option == "-v") {
            IT::debugMode = true;
        } else if (option == "-m") {
            IT::svcMemMonitor = true;
        } else if (option == "-unique") {
            unique = true;
        } else if (option == "-h" || option == "-?") {
            platform.writeStdout(help + "\n");
            return 0;
        } else if (option == "-datamaker") {
            dataMaker();
            return 0;
        }
    }
    theApplication = new zkQuoteForge(unique);
    return running() ? 0 : 1;
}

int zkQuoteForge::waitForEnd() {
    if (!ProcessLifetime::awaitEndOrStop()) return 0;
    zkQuoteForge* app = theApplication.load();
    if (!app) {
        ProcessLifetime::awaitEnd();
        return 0;
    }
    try {
        ShutdownApplication(*app, false);
    } catch (const ProcessEnding&) {
        // Another thread is ending the process already.
    }
    ProcessLifetime::awaitExit();
}

void zkQuoteForge::requestStop() { ProcessLifetime::requestStop(); }

zkQuoteForge* zkQuoteForge::application() { return theApplication.load(); }

bool zkQuoteForge::running() {
    const zkQuoteForge* app = theApplication.load();
    return app != nullptr && app->started_;
}

void zkQuoteForge::discardApplication() { delete theApplication.exchange(nullptr); }

// ---- Data-maker mode ----------------------------------------------------------

std::string zkQuoteForge::formatValue(double value) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    std::string text = ec == std::errc() ? std::string(buf, end) : std::to_string(value);
    if (std::isfinite(value) && text.find('.') == std::string::npos) text += ".0";
    return text;
}

void zkQuoteForge::dataMaker() {
    Platform& platform = Platform::current();
    double x = platform.randomUnit() * 5000.0 + 3000.0;
    // Every 10 minutes from 7 days ago to just short of 3.5 days ahead.
    for (int64_t offset = 604800000; offset > -302400000; offset -= 600000) {
        const int64_t d = platform.nowMillis() - offset;
        platform.writeStdout(IT::getBddDate(d) + ";" + IT::getBddTime(d) + ";" +
                             formatValue(6000.0 + 2000.0 * std::sin(x / 30.0)) + "\n");
        x += 1.0;
    }
}

// ---- The application object ---------------------------------------------------

zkQuoteForge::zkQuoteForge(bool bUnique) {
    static std::once_flag atExitRegistered;
    std::call_once(atExitRegistered, [] {
        std::atexit(teardownAtExit);
        // The platform ends the process from worker threads with a quick exit.
        ProcessSetup::atQuickExit(teardownAtExit);
    });
    exitTeardown = this;
    // Not loaded yet: the start-up lines always go to the default log.
    SysProperties.store(nullptr);

    bDebugMode_Origine = IT::debugMode;
    bExecution_Unique = bUnique;

    IT::addLogIndice(std::string(33, '-'));
    IT::addLogIndice(std::string(ZeProgram) + " started - v" + ZeVersion + " (" + ZeDateModif + ")");
    IT::addLogIndice("  |_ Operating System = " + IT::szSystemOS);
    IT::addLogIndice(std::string("  |_ Verbose Mode = ") + (IT::debugMode ? "true" : "false"));

    PropertiesReading reading;
    auto table = std::make_shared<const Properties>(IT::GetFileProperties(CONFIG_FILE, reading));
    SysProperties.store(table, std::move(reading.latin1Keys));
    if (table->empty()) {
        // Verbose mode has shown it already.
        if (!reading.failure.empty() && !IT::debugMode)
            IT::Outils_AfficheMsg_System("zkQuoteForge", "Error with " + std::string(CONFIG_FILE) + " : " + reading.failure,
                                         true);
        IT::Outils_AfficheMsg_System(
            "zkQuoteForge", "Une erreur de configuration est survenue dans 'zkQuoteForge.ini'... Impossible de continuer !",
            true);
        return;
    }

    settleVerboseMode();
    reportLoadedConfiguration();
    if (IT::svcMemMonitor) startMemoryWatcher();
    if (isSystemFieldOn("INDICEGIF_SERVICE")) startServiceQuoteForge();
    startReloadThread();
    started_ = true;
}

zkQuoteForge::~zkQuoteForge() {
    zkQuoteForge* self = this;
    exitTeardown.compare_exchange_strong(self, nullptr);
    teardown();
    // Also when the configuration no longer asks for the service.
    stopServiceQuoteForge();
    stopReloadThread();
}

void zkQuoteForge::teardown() {
    if (tornDown_.exchange(true)) return;
    schedule_.close();
    if (IT::svcMemMonitor) stopMemoryWatcher();
    if (isSystemFieldOn("INDICEGIF_SERVICE")) stopServiceQuoteForge();
    Platform::current().reclaimMemory();
}

void zkQuoteForge::settleVerboseMode() {
    if (!bDebugMode_Origine) IT::debugMode = isSystemFieldOn("APPLI_VERBOSE_MODE");
}

std::string zkQuoteForge::getSystemField(const std::string& key) {
    return SysProperties.get(key).value_or("NULL");
}

bool zkQuoteForge::isYes(const std::string& value) { return utf8::asciiLower(value) == "yes"; }

bool zkQuoteForge::isSystemFieldOn(const std::string& key) { return isYes(getSystemField(key)); }

void zkQuoteForge::ShutdownApplication(zkQuoteForge& app, bool fromGenerationThread, int exitStatus) {
    if (!fromGenerationThread) {
        app.schedule_.close();
        if (IT::svcMemMonitor) app.stopMemoryWatcher();
        app.stopServiceQuoteForge();
        app.stopReloadThread();
    }
    IT::Outils_AfficheMsg_System("Application", "Shutdown application!", true);
    Platform::current().exitProcess(exitStatus);
    std::abort();  // not reached
}
