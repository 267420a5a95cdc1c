// The chart model's configuration: reset values and the reading of a graph file.

#include "chart/Indication_Data.h"

#include "chart/GraphFileKeys.h"

#include "support/CivilCalendar.h"
#include "support/Indication_Tools.h"
#include "support/KeyCheck.h"
#include "support/Platform.h"
#include "support/Utf8.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace {

void report(const std::string& message) {
    Indication_Tools::Outils_AfficheMsg(Indication_Data::thisClassName, message, true);
}

}  // namespace

Indication_Data::Indication_Data() { ResetConfiguration(); }

Indication_Data::Indication_Data(const std::optional<std::string>& path) : Indication_Data() {
    szFileData = path;
}

void Indication_Data::ResetConfiguration() {
    loadFailure = ChartLoadFailure{};
    newestRecord.reset();
    unreadableLines.reset();
    szFileData.reset();
    int_TaillePoint = 0;
    graphfile::resetFields(*this);
}

bool Indication_Data::SetConfigurationFile(const std::optional<std::string>& path) {
    if (!path) return false;
    szFileData = path;
    return true;
}

bool Indication_Data::GetConfiguration() { return GetConfiguration(szFileData); }

bool Indication_Data::GetConfiguration(const std::optional<std::string>& path) {
    if (!path) {
        report("Pas de fichier de configuration !");
        loadFailed(ChartFailure::graphFile, "No graph file given!");
        return false;
    }
    report("* Read Configuration from : " + *path);
    PropertiesReading reading;
    const Properties table = Indication_Tools::GetFileProperties(*path, reading);
    if (table.empty()) {
        report("no configuration parameter found!");
        loadFailed(ChartFailure::graphFile,
                   "Error with the graph file " + *path + " : " +
                       (reading.failure.empty() ? "no configuration parameter found (missing, unreadable or empty)!"
                                                : reading.failure));
        return false;
    }
    graphfile::Loading loading;
    loading.path = *path;
    loading.loadedAt = Platform::current().nowMillis();
    const std::vector<std::string> findings = graphfile::readFields(*this, table, loading);
    // Mistakes the defaults would hide, told once per content of the file.
    if (KeyCheck::firstReading(*path, table, !findings.empty())) {
        for (const std::string& line : findings) Indication_Tools::Outils_AfficheMsg_System(thisClassName, line, true);
    }
    return loading.usable;
}

void Indication_Data::loadFailed(ChartFailure cause, std::string text) {
    if (loadFailure.cause != ChartFailure::none || loadFailure.noData) return;
    loadFailure.cause = cause;
    loadFailure.text = std::move(text);
}

void Indication_Data::setChartContext(const ChartContext& context) {
    context_ = context;
    // Then the charts before decide, unless the graph file sets them.
    if (context.carryOver != nullptr && *context.carryOver) szDate_WeekDay.reset();
}

void Indication_Data::finalize() {
    vecGraph_Date.clear();
    vecGraph_Date.shrink_to_fit();
    vecGraph_Data.clear();
    vecGraph_Data.shrink_to_fit();
}
