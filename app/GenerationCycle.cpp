// The generation service and the configuration reload thread.
//
// Two worker threads share run(): the reload thread re-reads the
// configuration on its timer and starts or stops the service; the generation
// thread, while the service runs, updates the data and builds every chart on
// its own timer. A reload and a pass never overlap: they take turns through
// the service's scheduler.

#include "app/zkQuoteForge.h"

#include "app/ChartPass.h"
#include "app/DataSources.h"
#include "app/MemoryWatcherThread.h"
#include "app/ServiceStatus.h"
#include "chart/FontCache.h"
#include "chart/Indication_Graph.h"
#include "support/Indication_Tools.h"
#include "support/KeyCheck.h"
#include "support/Platform.h"
#include "support/SysProperties.h"

#include <algorithm>
#include <exception>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

namespace {

using IT = Indication_Tools;

const char* const kReadingConfiguration = "Reading Configuration File... zkQuoteForge.ini";

// The keys of zkQuoteForge.ini, besides INDICEGIF_FILE_1, INDICEGIF_FILE_2, ...:
// a key read anywhere is listed here, or its users are told it is unknown.
constexpr std::string_view kConfigurationKeys[] = {
    "APPLI_VERBOSE_MODE", "APPLI_READINI_TIMER", "INDICEGIF_SERVICE", "INDICEGIF_TIMER", "INDICEGIF_LOG",
    "INDICEGIF_LOG_MAX_MB", "INDICEGIF_LOG_KEEP",
    "INDICEGIF_URLUPDATE_VALID", "INDICEGIF_URLUPDATE_URL", "INDICEGIF_URLUPDATE_LOGIN",
    "INDICEGIF_URLUPDATE_PASSWORD", "INDICEGIF_EXEUPDATE_VALID", "INDICEGIF_EXEUPDATE_FILENAME",
    "INDICEGIF_EXEUPDATE_PARAMETERS", "INDICEGIF_EXEUPDATE_LOGPRINTOUT", "INDICEGIF_STATUS_FILE",
    "INDICEGIF_THREADS", "INDICEGIF_DATA_CACHE_MB", "INDICEGIF_SOURCES", "INDICEGIF_KEEP_UNCHANGED"};
constexpr std::string_view kGraphFileKey = "INDICEGIF_FILE_";

std::string graphFileKey(int n) { return std::string(kGraphFileKey) + std::to_string(n); }

// The number of a graph-file key in plain decimal from 1 ("INDICEGIF_FILE_12"), or 0.
int graphFileNumber(const std::string& key) {
    if (key.compare(0, kGraphFileKey.size(), kGraphFileKey) != 0) return 0;
    const std::string digits = key.substr(kGraphFileKey.size());
    if (digits.empty() || digits.size() > 9 || digits[0] == '0') return 0;
    for (char c : digits)
        if (c < '0' || c > '9') return 0;
    return std::stoi(digits);
}

// The keys of the configuration just loaded that nothing reads, once per content.
void reportUnreadKeys(const Properties& config) {
    int listEnd = 0;  // the last graph file read
    while (config.count(graphFileKey(listEnd + 1)) != 0) ++listEnd;
    std::vector<std::string_view> known(std::begin(kConfigurationKeys), std::end(kConfigurationKeys));
    std::vector<std::string> numbered;
    for (int n = 1; n <= listEnd + 1; ++n) numbered.push_back(graphFileKey(n));
    known.insert(known.end(), numbered.begin(), numbered.end());
    std::vector<std::string> keys;
    for (const auto& entry : config) keys.push_back(entry.first);
    std::sort(keys.begin(), keys.end());
    std::string findings;
    for (const std::string& key : keys) {
        if (std::find(known.begin(), known.end(), key) != known.end()) continue;
        if (graphFileNumber(key) > listEnd) {
            findings += key + " is not read: " +
                        (listEnd == 0 ? "there is no " + graphFileKey(1) : "the list ends at " + graphFileKey(listEnd));
        } else {
            findings += KeyCheck::unknownKeyLine(key, zkQuoteForge::CONFIG_FILE, known);
        }
        findings += '\n';
    }
    if (!KeyCheck::firstReading(zkQuoteForge::CONFIG_FILE, config, !findings.empty())) return;
    size_t start = 0;
    for (size_t end; (end = findings.find('\n', start)) != std::string::npos; start = end + 1)
        IT::Outils_AfficheMsg_System("zkQuoteForge", findings.substr(start, end - start), true);
}

// The description of the exception being handled, for a report.
std::string currentFailure() {
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown failure";
    }
}

// A value of the pass's configuration; "NULL" stands for a missing key, as
// in the file's own convention.
std::string updateField(const Properties& config, const std::string& key) {
    auto it = config.find(key);
    if (it == config.end() || it->second == "NULL") return "";
    return it->second;
}

bool isOn(const Properties& config, const std::string& key) {
    auto it = config.find(key);
    return it != config.end() && zkQuoteForge::isYes(it->second);
}

// After the pass: the status file, when the configuration names one.
void publishStatus(const Properties& config, ServiceStatus& status) {
    status.passEnded(Platform::current().nowMillis());
    auto it = config.find("INDICEGIF_STATUS_FILE");
    if (it == config.end() || it->second.empty()) return;
    std::string error;
    if (!status.write(it->second, error))
        IT::Outils_AfficheMsg_System("QuoteForge", "Status file not written : " + error, true);
}

}  // namespace

int64_t zkQuoteForge::reloadPeriod() {
    return std::max<int64_t>(readPeriod("APPLI_READINI_TIMER", DEFAULT_READINI_TIMER), 1);
}

void zkQuoteForge::reportLoadedConfiguration() {
    const std::optional<std::string> reload = SysProperties.get("APPLI_READINI_TIMER");
    if (reload && IT::parseDecimalInt(*reload) == 0) {
        IT::Outils_AfficheMsg_System("zkQuoteForge",
                                     "APPLI_READINI_TIMER is 0: zkQuoteForge.ini is read again every second", true);
    }
    if (const SharedProperties::Ptr config = SysProperties.load()) reportUnreadKeys(*config);
    // Otherwise "-unique" would wait for the next reading without a word.
    if (!isSystemFieldOn("INDICEGIF_SERVICE")) {
        const std::optional<std::string> service = SysProperties.get("INDICEGIF_SERVICE");
        IT::Outils_AfficheMsg_System("zkQuoteForge",
                                     "INDICEGIF_SERVICE is off (" + (service ? "\"" + *service + "\"" : "not set") +
                                         "): no chart is built until it is \"yes\"; next reading of " + CONFIG_FILE +
                                         " in " + std::to_string(reloadPeriod()) + " s",
                                     true);
    }
}

int64_t zkQuoteForge::readPeriod(const std::string& key, int byDefault) {
    std::optional<int32_t> seconds;
    if (std::optional<std::string> value = SysProperties.get(key)) seconds = IT::parseDecimalInt(*value);
    // A negative period has no sensible meaning; it would make the loop spin.
    if (!seconds || *seconds < 0) return byDefault;
    return *seconds;
}

using Side = ServiceScheduler::Side;

bool zkQuoteForge::isServiceRunning() { return schedule_.exists(Side::generation); }

std::shared_ptr<Indication_Graph> zkQuoteForge::traitement_QuoteForge() {
    MutexLock lock(schedule_.mutex());
    return surface_;
}

// ---- Starting and stopping the service ------------------------------------------

bool zkQuoteForge::startServiceQuoteForge() {
    return schedule_.start(Side::generation, [this]() ZK_REQUIRES(schedule_.mutex()) {
        IT::Outils_AfficheMsg_System("Service", "Service [QuoteForge] starting...");
        // The one chart surface of the service; no window is needed to draw off-screen.
        surface_ = std::make_shared<Indication_Graph>();
        IT::addLogIndice("Service [QuoteForge] started");
        return std::thread([this, alive = KeepAlive()] { run(); });
    });
}

bool zkQuoteForge::stopServiceQuoteForge() {
    // A pass in progress always finishes; the thread is ended while it pauses or waits.
    schedule_.stop(
        Side::generation,
        [] { IT::Outils_AfficheMsg_System("Service", "Shutdown service [QuoteForge]..."); },
        [this]() ZK_REQUIRES(schedule_.mutex()) {
            const std::shared_ptr<Indication_Graph> surface = std::move(surface_);
            if (surface) surface->finalize();
            IT::Outils_AfficheMsg_System("Service", "Service [QuoteForge] stopped.");
            IT::addLogIndice("Service [QuoteForge] stopped.");
        });
    return true;
}

void zkQuoteForge::startReloadThread() {
    schedule_.start(Side::reload, [this] { return std::thread([this, alive = KeepAlive()] { run(); }); });
}

void zkQuoteForge::stopReloadThread() { schedule_.stop(Side::reload); }

// ---- The worker threads ------------------------------------------------------------

void zkQuoteForge::run() {
    const std::optional<Side> side = schedule_.sideOfThisThread();
    if (!side) return;
    const bool reload = *side == Side::reload;
    std::shared_ptr<Indication_Graph> surface;
    if (!reload) surface = traitement_QuoteForge();
    Platform::current().setCurrentThreadLowestPriority();
    try {
        if (reload) reloadLoop();
        if (surface) generationLoop(surface);
    } catch (const ProcessEnding&) {
        // Another thread is ending the process: this one just ends.
    } catch (const std::exception& e) {
        // Outside a pass or a reload only the loop's own bookkeeping can fail
        // (memory exhausted): say so rather than end in silence.
        try {
            IT::Outils_AfficheMsg_System(reload ? "zkQuoteForge" : "Service",
                                         std::string("Thread stopped : ") + e.what(), true);
        } catch (...) {
        }
    }
}

void zkQuoteForge::reloadLoop() {
    for (;;) {
        if (schedule_.pause(Side::reload, reloadPeriod() * 1000)) return;
        if (!schedule_.takeTurn(Side::reload)) return;
        try {
            reloadConfiguration();
        } catch (...) {
            IT::Outils_AfficheMsg_System("zkQuoteForge", "Configuration reload failed : " + currentFailure(), true);
        }
        schedule_.endTurn(Side::reload);
        Platform::current().reclaimMemory();
    }
}

void zkQuoteForge::reloadConfiguration() {
    IT::Outils_AfficheMsg_System("zkQuoteForge", kReadingConfiguration);
    IT::addLogIndice(kReadingConfiguration);
    PropertiesReading reading;
    Properties table = IT::GetFileProperties(CONFIG_FILE, reading);
    if (table.empty()) {
        if (!reading.failure.empty() && !IT::debugMode)
            IT::Outils_AfficheMsg_System("zkQuoteForge", "Error with " + std::string(CONFIG_FILE) + " : " + reading.failure,
                                         true);
        IT::Outils_AfficheMsg_System(
            "zkQuoteForge", "Erreur avec 'zkQuoteForge.ini': impossible de mettre à jour la configuration existante !",
            true);
        IT::addLogIndice("Error with 'zkQuoteForge.ini': cannot update configuration!");
        return;
    }
    SysProperties.store(std::make_shared<const Properties>(std::move(table)), std::move(reading.latin1Keys));
    IT::Outils_AfficheMsg_System("zkQuoteForge", "Configuration ... OK !", true);
    settleVerboseMode();
    reportLoadedConfiguration();
    const bool wanted = isSystemFieldOn("INDICEGIF_SERVICE");
    if (wanted && !isServiceRunning()) startServiceQuoteForge();
    if (!wanted && isServiceRunning()) stopServiceQuoteForge();
}

void zkQuoteForge::generationLoop(const std::shared_ptr<Indication_Graph>& surface) {
    Platform& platform = Platform::current();
    // The parsed data files and the worker surfaces live as long as the service.
    ChartPass charts(*surface, &zkQuoteForge::buildChart);
    for (;;) {
        // Read before the wait: a reload that changes it governs the next pass.
        const int64_t period = readPeriod("INDICEGIF_TIMER", DEFAULT_QUOTEFORGE_TIMER);
        if (!schedule_.takeTurn(Side::generation)) return;
        bool passSucceeded = false;
        try {
            passSucceeded = generationPass(charts, &status_);
        } catch (...) {
            // The turn ends below whatever happened, or every later reload would wait for ever.
            IT::Outils_AfficheMsg_System("QuoteForge", "Construction failed : " + currentFailure(), true);
        }
        schedule_.endTurn(Side::generation);
        platform.reclaimMemory();

        IT::Outils_AfficheMsg("QuoteForge", "  " + myMemWatch.displayMemory());
        IT::addLogIndice(myMemWatch.displayMemoryLong());

        // One-shot mode ends the process after its first complete pass, even
        // if a stop came meanwhile: whoever stops the service waits for this
        // thread, and the process ends. Nothing follows the shutdown message.
        if (bExecution_Unique) {
            schedule_.endProcessAfterTurn();
            // cron and service managers read the pass's outcome from the exit status.
            ShutdownApplication(*this, true, passSucceeded ? 0 : 1);
        }

        if (schedule_.pause(Side::generation, period * 1000)) return;
    }
}

bool zkQuoteForge::generationPass(ChartPass& charts, ServiceStatus* status) {
    bool succeeded = true;
    // Only the reload thread replaces the configuration, and never during a pass.
    const SharedProperties::Ptr snapshot = SysProperties.load();
    const Properties config = snapshot ? *snapshot : Properties();
    Platform& platform = Platform::current();
    if (status) status->passStarted(platform.nowMillis());

    IT::Outils_AfficheMsg_System("QuoteForge", "Construction ... " + IT::getDate() + " " + IT::getTime());

    if (isOn(config, "INDICEGIF_URLUPDATE_VALID")) {
        IT::addLogIndice("Update all datas.");
        std::optional<std::string> url;
        if (auto it = config.find("INDICEGIF_URLUPDATE_URL"); it != config.end()) url = it->second;
        const UrlReply reply = IT::getUrlReply(url);
        // The fetch's verdict, not a "200" somewhere in its text: a transfer
        // that broke after its status line failed.
        const bool ok = reply.succeeded;
        if (ok)
            IT::Outils_AfficheMsg_System("QuoteForge", "Updating ok : " + *reply.statusText, true);
        else
            IT::Outils_AfficheMsg_System("QuoteForge", "Updating failed : " + reply.statusText.value_or(""), true);
        succeeded = succeeded && ok;
        if (status) status->updateOutcome(ServiceStatus::STEP_ADDRESS, ok);
    }

    if (isOn(config, "INDICEGIF_EXEUPDATE_VALID")) {
        const std::string program = updateField(config, "INDICEGIF_EXEUPDATE_FILENAME");
        const std::string parameters = updateField(config, "INDICEGIF_EXEUPDATE_PARAMETERS");
        if (program.empty()) {
            IT::addLogIndice("Executing program: [ERROR] INDICEGIF_EXEUPDATE_FILENAME is invalid.");
            succeeded = false;
            if (status) status->updateOutcome(ServiceStatus::STEP_PROGRAM, false);
        } else {
            IT::addLogIndice("Executing program: " + program + " " + parameters);
            const int32_t result =
                IT::ExecuteApplication(program, parameters, isOn(config, "INDICEGIF_EXEUPDATE_LOGPRINTOUT"));
            if (result == 0)
                IT::Outils_AfficheMsg_System("QuoteForge", "EXE Updating ok", true);
            else
                IT::Outils_AfficheMsg_System("QuoteForge", "EXE Updating failed : " + std::to_string(result), true);
            succeeded = succeeded && result == 0;
            if (status) status->updateOutcome(ServiceStatus::STEP_PROGRAM, result == 0);
        }
    }

    // The data sources, after the two steps that may feed them.
    if (const std::string sources = updateField(config, "INDICEGIF_SOURCES"); !sources.empty()) {
        IT::addLogIndice("Update data sources.");
        const SourcesRun run = runSources(sources, platform.nowMillis());
        succeeded = succeeded && run.ok;
        if (status) {
            status->updateOutcome(ServiceStatus::STEP_SOURCES, run.ok);
            for (const SourceOutcome& source : run.sources) status->sourceOutcome(source);
        }
    }

    IT::addLogIndice("GIF Construction now.");
    std::vector<std::string> graphFiles;
    for (int n = 1;; ++n) {
        auto it = config.find("INDICEGIF_FILE_" + std::to_string(n));
        if (it == config.end()) break;
        graphFiles.push_back(it->second);
    }
    std::optional<std::string> threads;
    if (auto it = config.find("INDICEGIF_THREADS"); it != config.end()) threads = it->second;
    std::optional<std::string> dataCacheMB;
    if (auto it = config.find("INDICEGIF_DATA_CACHE_MB"); it != config.end()) dataCacheMB = it->second;
    charts.dataCache().setBudget(ChartPass::dataBudgetFor(dataCacheMB));
    charts.setKeepUnchanged(isOn(config, "INDICEGIF_KEEP_UNCHANGED"));
    const std::vector<ChartPass::Outcome> outcomes = charts.build(graphFiles, ChartPass::workersFor(threads));
    // In the order of the list: a graph file listed twice counts by its last attempt.
    for (size_t i = 0; i < outcomes.size(); ++i) {
        if (outcomes[i].result.outcome == ChartOutcome::failed) succeeded = false;
        if (status) status->chartOutcome(graphFiles[i], outcomes[i].result, outcomes[i].at);
    }
    if (status) publishStatus(config, *status);
    return succeeded;
}

namespace {

// The end of a drawn chart's line and its outcome, once its images are written.
void endDrawnChart(const Indication_Graph::ImageExport& written, bool textLost, bool hasDataToDraw, std::string& line,
                   ChartResult& result) {
    if (!written.complete()) {
        // A chart with an image missing is not done: say which.
        line += written.outcomes();
        result.cause = ChartFailure::imageWrite;
    } else if (textLost) {
        // Written, but without its title, legends or caption.
        line += written.summary() + "text not drawn (no font)!";
        result.cause = ChartFailure::font;
    } else if (written.nothingAsked()) {
        // Built and drawn, but not a file to show for it: say so, not "done".
        line += "built, no image asked for";
        result.outcome = ChartOutcome::built;
    } else {
        // A window with nothing to draw shows the notice: that image was asked for too.
        line += written.summary() + (hasDataToDraw ? "done" : "done (nothing to draw in the time window)");
        result.outcome = ChartOutcome::built;
    }
}

}  // namespace

ChartPass::FinishChart zkQuoteForge::buildChart(Indication_Graph& surface, const std::string& path) {
    IT::addLogIndice(" - reading : " + path);
    std::string line = "file... " + path + ": ";
    ChartResult result;
    // Set for a chart drawn: its images, and what its line says besides them.
    std::optional<Indication_Graph::ImageExport> images;
    bool textLost = false;
    bool hasDataToDraw = false;
    FontCache::takeTextNotDrawn();  // a mark left by whatever this thread drew before
    try {
        if (surface.initGraphique(path)) {
            surface.init();
            images = surface.exportImages();
            textLost = FontCache::takeTextNotDrawn();
            hasDataToDraw = surface.hasDataToDraw();
        } else if (const Indication_Data* model = surface.idMesDonnees.get(); model && model->loadFailure.noData) {
            // The night or the weekend of a market: the images of its last records stay.
            line += "no data in the time window, images left as they were";
            result.outcome = ChartOutcome::noData;
        } else {
            const ChartLoadFailure failure = model ? model->loadFailure : ChartLoadFailure{};
            result.cause = failure.cause == ChartFailure::none ? ChartFailure::configuration : failure.cause;
            // Verbose mode has shown it among the other reports already.
            if (!IT::debugMode && !failure.text.empty())
                IT::Outils_AfficheMsg_System(Indication_Data::thisClassName, failure.text, true);
            line += "configuration failed!";
            IT::addLogIndice("  |_ Configuration Failed!");
        }
        if (const Indication_Data* model = surface.idMesDonnees.get()) {
            result.newestRecord = model->newestRecord;
            if (model->calendar) {
                Platform& p = Platform::current();
                result.marketOpen = model->calendar->isOpen(p, p.nowMillis());
                if (model->newestRecord && *model->newestRecord > 0)
                    if (auto next = model->calendar->openAtOrAfter(p, *model->newestRecord + 1))
                        result.nextRecordDue = *next + int64_t{model->iPublication_Delay} * 60000;
            }
            if (model->unreadableLines) {
                result.dataFile = model->szFileData_Values;
                result.unreadableLines = *model->unreadableLines;
            }
        }
    } catch (...) {
        // One chart that fails in an unforeseen way does not cost the others theirs.
        const std::string failure = currentFailure();
        line += "build failed : " + failure;
        IT::addLogIndice("  |_ Build Failed : " + failure);
        result = ChartResult{};
        images.reset();
    }
    return [line, result, images, textLost, hasDataToDraw](
               const std::vector<AtomicWrites::Replaced>& written) mutable {
        if (images) {
            images->settle(written);
            result.imagesWritten = images->filesWritten();
            result.imagesUnchanged = images->filesUnchanged();
            endDrawnChart(*images, textLost, hasDataToDraw, line, result);
        }
        IT::Outils_AfficheMsg_System("QuoteForge", " - " + line);
        return result;
    };
}
