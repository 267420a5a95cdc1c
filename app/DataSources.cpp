// Data sources: fetch, read, merge, report.

#include "app/DataSources.h"

#include "app/DataMerge.h"
#include "support/AtomicWrites.h"
#include "support/Indication_Tools.h"
#include "support/KeyCheck.h"
#include "support/Platform.h"
#include "support/RemoteUpdate.h"
#include "support/Utf8.h"

#include <algorithm>
#include <map>

namespace {

using IT = Indication_Tools;

constexpr const char* kCategory = "QuoteForge";

constexpr std::string_view kSourceKeys[] = {
    "SOURCE_FROM",        "SOURCE_LOGIN",        "SOURCE_PASSWORD",    "SOURCE_INTERVAL",  "SOURCE_INTO",
    "SOURCE_SEPARATOR",   "SOURCE_HEADER",       "SOURCE_DATE_COLUMN", "SOURCE_TIME_COLUMN",
    "SOURCE_VALUE_COLUMN", "SOURCE_DATE_FORMAT", "SOURCE_TIME_FORMAT", "SOURCE_DECIMAL",   "SOURCE_MISSING",
    "SOURCE_TIME",        "SOURCE_MAX_MB"};

std::string field(const Properties& p, const char* key) {
    auto it = p.find(key);
    return it == p.end() ? std::string() : it->second;
}

bool isHttp(const std::string& from) {
    const std::string start = utf8::asciiLower(from.substr(0, 8));
    return start.rfind("http://", 0) == 0 || start.rfind("https://", 0) == 0;
}

// "HH:MM:SS", "HH:MM" or "HHMMSS".
bool parseClock(std::string text, CsvFormat& f) {
    text.erase(std::remove(text.begin(), text.end(), ':'), text.end());
    if (text.size() == 4) text += "00";
    if (text.size() != 6 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    f.fixedHour = std::stoi(text.substr(0, 2));
    f.fixedMinute = std::stoi(text.substr(2, 2));
    f.fixedSecond = std::stoi(text.substr(4, 2));
    return f.fixedHour < 24 && f.fixedMinute < 60 && f.fixedSecond < 60;
}

SourceConfig sourceOf(const std::string& name, const Properties& p, const std::string& file) {
    SourceConfig s;
    s.name = name;
    auto problem = [&](std::string text) { s.problems.push_back(std::move(text)); };
    s.from = field(p, "SOURCE_FROM");
    s.http = isHttp(s.from);
    if (s.from.empty()) problem("SOURCE_FROM is missing");
    s.into = field(p, "SOURCE_INTO");
    if (s.into.empty()) problem("SOURCE_INTO is missing");
    s.login = field(p, "SOURCE_LOGIN");
    s.password = field(p, "SOURCE_PASSWORD");
    if (const std::string interval = field(p, "SOURCE_INTERVAL"); !interval.empty()) {
        const std::optional<int32_t> seconds = IT::parseDecimalInt(interval);
        if (!seconds || *seconds < 0)
            problem("SOURCE_INTERVAL \"" + interval + "\" is no number of seconds");
        else
            s.intervalSeconds = *seconds;
    }
    CsvFormat& f = s.format;
    if (!parseSeparator(field(p, "SOURCE_SEPARATOR"), f.separator))
        problem("SOURCE_SEPARATOR \"" + field(p, "SOURCE_SEPARATOR") + "\" is none of , ; tab auto");
    const std::string header = utf8::asciiLower(field(p, "SOURCE_HEADER"));
    if (header == "no")
        f.header = false;
    else if (!header.empty() && header != "yes")
        problem("SOURCE_HEADER \"" + field(p, "SOURCE_HEADER") + "\" is neither yes nor no");
    f.dateColumn = field(p, "SOURCE_DATE_COLUMN");
    if (f.dateColumn.empty()) problem("SOURCE_DATE_COLUMN is missing");
    f.valueColumn = field(p, "SOURCE_VALUE_COLUMN");
    if (f.valueColumn.empty()) problem("SOURCE_VALUE_COLUMN is missing");
    f.timeColumn = field(p, "SOURCE_TIME_COLUMN");
    if (const std::string format = field(p, "SOURCE_DATE_FORMAT"); !format.empty()) f.dateFormat = format;
    if (const std::string format = field(p, "SOURCE_TIME_FORMAT"); !format.empty()) f.timeFormat = format;
    const std::string mark = field(p, "SOURCE_DECIMAL");
    if (mark == ",")
        f.decimalMark = ',';
    else if (!mark.empty() && mark != ".")
        problem("SOURCE_DECIMAL \"" + mark + "\" is neither . nor ,");
    if (p.count("SOURCE_MISSING")) {
        f.missing.clear();
        const std::string words = field(p, "SOURCE_MISSING");
        for (size_t pos = 0; pos < words.size();) {
            const size_t end = std::min(words.find(' ', pos), words.size());
            if (end > pos) f.missing.push_back(words.substr(pos, end - pos));
            pos = end + 1;
        }
    }
    if (const std::string at = field(p, "SOURCE_TIME"); !at.empty() && !parseClock(at, f))
        problem("SOURCE_TIME \"" + at + "\" is no time of day (HH:MM:SS)");
    if (const std::string mb = field(p, "SOURCE_MAX_MB"); !mb.empty()) {
        const std::optional<int64_t> value = IT::parseWholeNumberUpTo(mb, 4096);
        if (!value || *value == 0)
            problem("SOURCE_MAX_MB \"" + mb + "\" is no number of MiB from 1");
        else
            s.maxBytes = *value << 20;
    }
    std::string unknown;
    const std::vector<std::string_view> known(std::begin(kSourceKeys), std::end(kSourceKeys));
    std::vector<std::string> keys;
    for (const auto& entry : p) keys.push_back(entry.first);
    std::sort(keys.begin(), keys.end());
    for (const std::string& key : keys)
        if (std::find(known.begin(), known.end(), key) == known.end())
            unknown += KeyCheck::unknownKeyLine(key, file + " [" + name + "]", known) + "\n";
    if (KeyCheck::firstReading(file + " [" + name + "]", p, !unknown.empty())) {
        for (size_t start = 0, end; (end = unknown.find('\n', start)) != std::string::npos; start = end + 1)
            IT::Outils_AfficheMsg_System(kCategory, unknown.substr(start, end - start), true);
    }
    return s;
}

std::string maskCollecting(const std::string& address, std::vector<std::string>* secrets);

// Values that must not reach a message: the password, and what the address's masking hides.
std::vector<std::string> secretsOf(const SourceConfig& s) {
    std::vector<std::string> secrets;
    if (!s.password.empty()) secrets.push_back(s.password);
    maskCollecting(s.from, &secrets);
    return secrets;
}

std::string masked(std::string text, const std::vector<std::string>& secrets) {
    for (const std::string& secret : secrets) text = maskSecret(std::move(text), secret);
    return text;
}

// ---- The state file beside the data file ----------------------------------------

struct SourceState {
    std::string address;  // masked: validators of another address do not count
    int64_t lastAttempt = 0;
    int64_t lastSuccess = 0;
    bool lastOk = false;
    std::string etag, lastModified;
};

SourceState readState(const std::string& path) {
    SourceState state;
    std::string bytes, error;
    if (!Platform::current().readFile(path, bytes, error)) return state;
    const Properties p = IT::ParseProperties(bytes);
    state.address = field(p, "ADDRESS");
    state.lastAttempt = IT::parseWholeNumberUpTo(field(p, "LAST_ATTEMPT"), INT64_MAX).value_or(0);
    state.lastSuccess = IT::parseWholeNumberUpTo(field(p, "LAST_SUCCESS"), INT64_MAX).value_or(0);
    state.lastOk = field(p, "LAST_OK") == "yes";
    state.etag = field(p, "ETAG");
    state.lastModified = field(p, "LAST_MODIFIED");
    return state;
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

void writeState(const std::string& path, const SourceState& state) {
    const std::string text = "# zkQuoteForge's record of its last fetch of this data file's source\n"
                             "ADDRESS=" + oneLine(state.address) + "\nLAST_ATTEMPT=" +
                             std::to_string(state.lastAttempt) + "\nLAST_SUCCESS=" + std::to_string(state.lastSuccess) +
                             "\nLAST_OK=" + (state.lastOk ? "yes" : "no") + "\nETAG=" + oneLine(state.etag) +
                             "\nLAST_MODIFIED=" + oneLine(state.lastModified) + "\n";
    std::string old, error;
    if (Platform::current().readFile(path, old, error) && old == text) return;
    if (!AtomicWrites::write(path, text, error))
        IT::Outils_AfficheMsg_System(kCategory, "Source state not kept : " + error, true);
}

// ---- One source ------------------------------------------------------------------

// The body of a source, or false with why.
bool fetchLocal(const SourceConfig& s, std::string& body, std::string& why) {
    int64_t size = 0;
    bool tooLarge = false;
    std::string error;
    const bool read = Platform::current().readFileParts(
        s.from,
        [&](std::string_view part) {
            if (static_cast<int64_t>(body.size() + part.size()) > s.maxBytes) {
                tooLarge = true;
                return false;
            }
            body.append(part);
            return true;
        },
        size, error);
    if (tooLarge) {
        why = "the file is larger than " + bodyLimitText(s.maxBytes);
        return false;
    }
    if (!read) why = error;
    return read;
}

struct Fetched {
    bool ok = false;
    bool notModified = false;
    std::string body;
    std::string why;
};

Fetched fetchHttp(const SourceConfig& s, SourceState& state, const std::vector<std::string>& secrets) {
    Fetched f;
    if (!Platform::current().isUsableHttpUrl(s.from)) {
        f.why = "not a usable http or https address";
        return f;
    }
    HttpFetchRequest request;
    if (!s.login.empty()) {
        std::vector<uint8_t> credentials(s.login.begin(), s.login.end());
        credentials.push_back(':');
        credentials.insert(credentials.end(), s.password.begin(), s.password.end());
        const std::optional<std::vector<uint8_t>> encoded = IT::base64Encode(credentials);
        request.authorization = "Basic " + std::string(encoded->begin(), encoded->end());
    }
    if (!state.etag.empty()) request.headers.emplace_back("If-None-Match", state.etag);
    if (!state.lastModified.empty()) request.headers.emplace_back("If-Modified-Since", state.lastModified);
    request.keepBody = true;
    request.maxBodyBytes = s.maxBytes;
    HttpGetResult answer = Platform::current().httpFetch(s.from, request, getRemoteUpdateLimits().http);
    const std::string status = answer.statusLine ? IT::toUtf8(*answer.statusLine) : std::string();
    if (answer.outcome != HttpGetResult::Outcome::Complete) {
        f.why = masked(answer.error, secrets);
        return f;
    }
    if (answer.statusCode == 304) {
        f.ok = f.notModified = true;
        return f;
    }
    if (!httpSucceeded(answer)) {
        f.why = "the server answered \"" + status + "\"";
        return f;
    }
    f.ok = true;
    f.body = std::move(answer.body);
    // Validators of a 200: the next request asks whether anything changed since.
    state.etag = answer.etag;
    state.lastModified = answer.lastModified;
    return f;
}

int64_t instantOfKey(int64_t wallKey) {
    return Platform::current().fromLocal(civil::fieldsOfWallMillis(wallKey));
}

// The data file's bytes, empty for a file not made yet; false when it exists
// and cannot be read (it must not be written over then).
bool readDataFile(const std::string& path, std::string& bytes, std::string& why) {
    Platform& platform = Platform::current();
    if (platform.isMissingFile(path)) return true;
    std::string error;
    if (platform.readFile(path, bytes, error)) return true;
    why = "cannot read the data file : " + error;
    return false;
}

SourceOutcome runSource(const SourceConfig& s, int64_t now) {
    SourceOutcome out;
    out.name = s.name;
    const std::string address = maskAddress(s.from);
    const std::vector<std::string> secrets = secretsOf(s);
    auto fail = [&](const std::string& why) {
        IT::Outils_AfficheMsg_System(kCategory,
                                     "Source " + s.name + " failed : " + address + " : " + masked(why, secrets), true);
        out.ok = false;
        return out;
    };
    if (!s.problems.empty()) {
        out.attempted = true;
        std::string all;
        for (const std::string& p : s.problems) all += (all.empty() ? "" : "; ") + p;
        return fail("configuration : " + all);
    }
    const std::string statePath = sourceStateFile(s.into);
    SourceState state = readState(statePath);
    out.lastSuccess = state.lastSuccess;
    if (state.lastAttempt > 0 && state.lastAttempt <= now && now - state.lastAttempt < s.intervalSeconds * 1000) {
        const int64_t wait = (s.intervalSeconds * 1000 - (now - state.lastAttempt) + 999) / 1000;
        IT::Outils_AfficheMsg(kCategory, "Source " + s.name + " : next fetch in " + std::to_string(wait) + " s");
        out.ok = state.lastOk;
        return out;
    }
    out.attempted = true;
    // Validators of another address, or for a data file since removed, say
    // nothing about what the data file needs.
    if (state.address != address || Platform::current().isMissingFile(s.into)) {
        state.etag.clear();
        state.lastModified.clear();
    }
    const SourceState before = state;
    state.address = address;
    state.lastAttempt = now;
    state.lastOk = false;
    // A failure keeps the validators it was asked with: nothing has been read since.
    auto failing = [&](const std::string& why) {
        state.etag = before.etag;
        state.lastModified = before.lastModified;
        writeState(statePath, state);
        return fail(why);
    };

    std::string body, why;
    bool fetched = false, notModified = false;
    if (s.http) {
        Fetched f = fetchHttp(s, state, secrets);
        fetched = f.ok;
        notModified = f.notModified;
        body = std::move(f.body);
        why = std::move(f.why);
    } else {
        fetched = fetchLocal(s, body, why);
    }
    if (!fetched) return failing(why);

    std::string file;
    if (!readDataFile(s.into, file, why)) return failing(why);
    std::string result;
    DataMerge merge;
    if (notModified) {
        merge = mergeRecords(file, {});
        result = "not modified";
    } else {
        const CsvReading reading = readCsv(body, s.format, !s.http, [](int64_t instant) {
            return Platform::current().toLocal(instant);
        });
        if (!reading.ok()) return failing(reading.failure);
        merge = mergeRecords(file, reading.records);
        if (merge.bytes != file) {
            std::string error;
            if (!AtomicWrites::write(s.into, merge.bytes, error)) return failing("cannot write the data file : " + error);
        }
        result = std::to_string(merge.added) + " added, " + std::to_string(merge.replaced) + " replaced";
        if (reading.unreadable > 0)
            result += ", " + std::to_string(reading.unreadable) + " unreadable rows left out (" +
                      reading.firstUnreadable + ")";
    }
    state.lastOk = true;
    state.lastSuccess = now;
    writeState(statePath, state);
    out.ok = true;
    out.added = merge.added;
    out.replaced = merge.replaced;
    out.lastSuccess = now;
    if (merge.newestKey != 0) out.newestRecord = instantOfKey(merge.newestKey);
    IT::Outils_AfficheMsg_System(kCategory, "Source " + s.name + " ok : " + result, true);
    return out;
}

}  // namespace

std::string sourceStateFile(const std::string& dataFile) { return dataFile + ".source-state"; }

std::string maskAddress(const std::string& address) { return maskCollecting(address, nullptr); }

namespace {

std::string maskCollecting(const std::string& address, std::vector<std::string>* secrets) {
    auto hide = [&](std::string& text, size_t from, size_t count) {
        if (secrets) secrets->push_back(text.substr(from, count));
        text.replace(from, count, "***");
    };
    std::string out = address;
    const size_t scheme = out.find("://");
    if (scheme != std::string::npos) {
        const size_t hostStart = scheme + 3;
        const size_t hostEnd = std::min(out.find_first_of("/?#", hostStart), out.size());
        const size_t at = out.rfind('@', hostEnd);
        if (at != std::string::npos && at >= hostStart) {
            const size_t colon = out.find(':', hostStart);
            if (colon != std::string::npos && colon + 1 < at) hide(out, colon + 1, at - colon - 1);
        }
    }
    const size_t query = out.find('?');
    if (query == std::string::npos) return out;
    static constexpr std::string_view kSecretWords[] = {"key", "token", "secret", "pass", "auth", "sig", "session",
                                                        "credential"};
    std::string rebuilt = out.substr(0, query + 1);
    const size_t fragment = std::min(out.find('#', query), out.size());
    for (size_t pos = query + 1; pos <= fragment;) {
        const size_t end = std::min(out.find('&', pos), fragment);
        std::string pair = out.substr(pos, end - pos);
        const size_t eq = pair.find('=');
        if (eq != std::string::npos) {
            const std::string name = utf8::asciiLower(pair.substr(0, eq));
            for (std::string_view word : kSecretWords) {
                if (name.find(word) != std::string::npos && eq + 1 < pair.size()) {
                    hide(pair, eq + 1, pair.size() - eq - 1);
                    break;
                }
            }
        }
        rebuilt += pair;
        if (end < fragment) rebuilt += '&';
        pos = end + 1;
    }
    return rebuilt + out.substr(fragment);
}

}  // namespace

std::vector<SourceConfig> parseSources(std::string_view text, const std::string& file,
                                       std::vector<std::string>& fileProblems) {
    std::vector<std::pair<std::string, std::string>> blocks;  // name, its lines
    std::string outside;
    size_t lineNumber = 0;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        while (!line.empty() && static_cast<unsigned char>(line.front()) <= 32) line.remove_prefix(1);
        while (!line.empty() && static_cast<unsigned char>(line.back()) <= 32) line.remove_suffix(1);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            blocks.emplace_back(std::string(line.substr(1, line.size() - 2)), std::string());
            continue;
        }
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (blocks.empty()) {
            if (line.find('=') != std::string_view::npos)
                fileProblems.push_back(file + " line " + std::to_string(lineNumber) + " is outside a [source] block");
            continue;
        }
        blocks.back().second.append(line).push_back('\n');
    }
    std::vector<SourceConfig> sources;
    std::map<std::string, size_t> names;
    for (const auto& [name, lines] : blocks) {
        sources.push_back(sourceOf(name, IT::ParseProperties(lines), file));
        if (name.empty()) sources.back().problems.push_back("a source needs a name between [ and ]");
        if (!names.emplace(name, sources.size() - 1).second)
            sources.back().problems.push_back("another source is named [" + name + "]");
    }
    // One data file, one source: two would undo each other's records.
    Platform& platform = Platform::current();
    std::map<FilePlace, std::vector<size_t>> fed;
    for (size_t i = 0; i < sources.size(); ++i)
        if (!sources[i].into.empty()) fed[platform.placeOf(sources[i].into)].push_back(i);
    for (const auto& [place, feeders] : fed) {
        if (feeders.size() < 2) continue;
        std::string all;
        for (size_t i : feeders) all += (all.empty() ? "[" : ", [") + sources[i].name + "]";
        for (size_t i : feeders)
            sources[i].problems.push_back(sources[i].into + " is fed by more than one source (" + all + ")");
    }
    return sources;
}

SourcesRun runSources(const std::string& sourcesFile, int64_t now) {
    SourcesRun run;
    std::string bytes, error;
    if (!Platform::current().readFile(sourcesFile, bytes, error)) {
        IT::Outils_AfficheMsg_System(kCategory, "Sources failed : " + error, true);
        run.ok = false;
        return run;
    }
    std::vector<std::string> fileProblems;
    const std::vector<SourceConfig> sources = parseSources(IT::toUtf8(bytes), sourcesFile, fileProblems);
    for (const std::string& problem : fileProblems) {
        IT::Outils_AfficheMsg_System(kCategory, "Sources failed : " + problem, true);
        run.ok = false;
    }
    for (const SourceConfig& s : sources) {
        SourceOutcome outcome = runSource(s, now);
        if (outcome.attempted && !outcome.ok) run.ok = false;
        run.sources.push_back(std::move(outcome));
    }
    return run;
}
