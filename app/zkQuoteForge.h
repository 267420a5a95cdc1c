#pragma once
// The application: start-up, command line and the application object.
//
// main runs on the process's initial thread: it sets the globals, prints the
// banner, reads the options and prints the help, prints a sample series, or
// builds the application object. The object then lives on in its worker
// threads (configuration reload, generation pass, memory watcher) until the
// process ends through ShutdownApplication or the memory watcher; waitForEnd
// blocks the initial thread meanwhile.

#include "app/ChartPass.h"
#include "app/ProcessLifetime.h"
#include "app/ServiceScheduler.h"
#include "app/ServiceStatus.h"
#include "chart/ChartOutcome.h"
#include "support/ProgramInfo.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class ChartPass;
class Indication_Graph;

class zkQuoteForge {
public:
    static constexpr const char* ZeVersion = ProgramInfo::ZeVersion;
    static constexpr const char* ZeDate = ProgramInfo::ZeDate;
    static constexpr const char* ZeDateModif = ProgramInfo::ZeDateModif;
    static constexpr const char* ZeProgram = ProgramInfo::ZeProgram;
    static constexpr const char* CONFIG_FILE = "zkQuoteForge.ini";
    static constexpr int DEFAULT_READINI_TIMER = 3600;
    static constexpr int DEFAULT_QUOTEFORGE_TIMER = 600;
    // The banner printed at every start (a line end follows it).
    static const std::string about;
    // The help text of "-h" and "-?" (a line end follows it).
    static const std::string help;

    // Process entry with the arguments after the program name: 1 after a
    // configuration error at start-up, else 0 (the help, data-maker mode, or
    // the application started).
    static int main(const std::vector<std::string>& args);
    // The whole life of the process, as each program's entry runs it: the
    // process settings, the stop requests, main, then waitForEnd; returns the
    // process exit status (1 when the start-up failed).
    static int runProcess(const std::vector<std::string>& args);
    // Blocks while worker threads keep the application alive (see KeepAlive);
    // returns the process exit status. After requestStop it shuts the
    // application down instead (the process ends with status 0).
    static int waitForEnd();
    // Asks waitForEnd to shut the application down: after the pass in
    // progress, as ShutdownApplication does. Any thread; not from a signal handler.
    static void requestStop();

    // Logs the start, loads the configuration and starts the worker threads.
    explicit zkQuoteForge(bool bUnique);
    // Runs the teardown (once), then ends the reload thread.
    ~zkQuoteForge();
    zkQuoteForge(const zkQuoteForge&) = delete;
    zkQuoteForge& operator=(const zkQuoteForge&) = delete;

    // The configuration value under key, or "NULL" when it is absent.
    static std::string getSystemField(const std::string& key);
    // A yes/no key of the configuration: on only for "yes", in any case.
    static bool isSystemFieldOn(const std::string& key);
    // The one rule for a yes/no value of the application configuration: "yes", any case.
    static bool isYes(const std::string& value);
    // Stops what the caller may stop, reports and exits with exitStatus. The
    // generation thread passes true: it cannot stop itself.
    [[noreturn]] static void ShutdownApplication(zkQuoteForge& app, bool fromGenerationThread, int exitStatus = 0);

    // Verbose mode follows "APPLI_VERBOSE_MODE" unless "-v" was given.
    void settleVerboseMode();

    // Generation cycle. start: false when the service already runs. stop:
    // waits for the end of a pass in progress, ends the generation thread
    // (unless it is the caller) and releases the chart surface; always true.
    bool startServiceQuoteForge();
    bool stopServiceQuoteForge();
    // The body of both worker threads: the reload loop on the reload thread,
    // the generation loop on the generation thread, nothing on any other.
    void run();
    // The generation thread exists.
    bool isServiceRunning();
    // The work of one pass: the updates, then every chart of the
    // configuration, built by the workers "INDICEGIF_THREADS" asks for. The
    // generation thread runs it between its flags. With a status, the pass's
    // outcome is recorded there and written to the status file when the
    // configuration names one. True when every update step that ran
    // succeeded and no chart failed (one with no data did not).
    static bool generationPass(ChartPass& charts, ServiceStatus* status = nullptr);
    // Builds one chart on surface, its images left to the pass's writer;
    // what it returns shows its result line once they are written (and,
    // without verbose mode, the cause of a failed loading is on the line
    // before).
    static ChartPass::FinishChart buildChart(Indication_Graph& surface, const std::string& path);

    // Stops the memory watcher and the service, asks for memory to be
    // reclaimed. Runs once: when the object is discarded, or at process exit.
    void teardown();

    // The object main built; null before (and in tests after discardApplication).
    static zkQuoteForge* application();
    // main built the object and it started its worker threads: false after the
    // help, data-maker mode or a configuration error. A service host reports
    // false as a start-up failure.
    static bool running();
    // Tests: discards the object main built.
    static void discardApplication();

    // A worker thread holds one for as long as it runs, so that waitForEnd
    // keeps the process alive:
    //     th = std::thread([this, alive = KeepAlive()] { run(); });
    using KeepAlive = ProcessLifetime::KeepAlive;

    // Sample values of data-maker mode: the shortest text that reads back as
    // the same double, always with a decimal point ("6000.0").
    static std::string formatValue(double value);

    // ---- Fields -------------------------------------------------------------
    bool bExecution_Unique = false;   // "-unique": one pass, then exit
    bool bDebugMode_Origine = false;  // "-v" was given: the configuration never changes verbose mode
    // Views of who has the turn: a reload, or a generation pass.
    bool thread_Appli_running() { return schedule_.running(ServiceScheduler::Side::reload); }
    bool thread_QuoteForge_running() { return schedule_.running(ServiceScheduler::Side::generation); }
    // The reload thread exists.
    bool isReloadThreadRunning() { return schedule_.exists(ServiceScheduler::Side::reload); }
    // Where the service's turns stand: a reload held back by a pass, a
    // service being stopped while its pass runs to its end.
    bool isReloadWaitingForTurn() { return schedule_.waiting(ServiceScheduler::Side::reload); }
    bool isServiceStopping() { return schedule_.stopping(ServiceScheduler::Side::generation); }
    // The one chart surface reused for every chart while the service runs.
    std::shared_ptr<Indication_Graph> traitement_QuoteForge();

private:
    static void dataMaker();

    // Where the worker threads start and stop; each is filled in by the part
    // that owns the thread.
    void startMemoryWatcher();
    void stopMemoryWatcher();
    void startReloadThread();
    void stopReloadThread();

    // Generation cycle (GenerationCycle.cpp).
    void reloadLoop();
    void reloadConfiguration();
    void generationLoop(const std::shared_ptr<Indication_Graph>& surface);
    // The period under key in seconds, or byDefault when absent or unreadable.
    static int64_t readPeriod(const std::string& key, int byDefault);
    // Seconds between configuration reloads: a period of 0 (read as "never"
    // by many) would reload without pause and flood the log; it pauses 1 s.
    static int64_t reloadPeriod();
    // Says what a configuration just loaded leaves the user waiting for (a
    // reload period of 0 taken as 1 s).
    static void reportLoadedConfiguration();

    std::atomic<bool> tornDown_{false};
    bool started_ = false;  // the configuration loaded and the worker threads started
    ServiceStatus status_;  // the generation thread's passes, for the status file

    ServiceScheduler schedule_;
    // Shared ownership only so that this header does not need the chart
    // surface's destructor.
    std::shared_ptr<Indication_Graph> surface_ ZK_GUARDED_BY(schedule_.mutex());
};
