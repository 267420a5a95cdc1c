#include "chart/DataFileRecords.h"

#include "chart/DataRecord.h"
#include "support/Indication_Tools.h"

#include <cstring>

namespace {

// A bad line is quoted up to this many bytes: a binary file may hold huge lines.
constexpr size_t kQuotedLineBytes = 120;

size_t chunkBytes() { return sizeof(DataChunk) + DataChunk::kRecords * (sizeof(int64_t) + sizeof(double)); }

}  // namespace

std::string quoteDataLine(std::string_view line) {
    const bool cut = line.size() > kQuotedLineBytes;
    std::string text = Indication_Tools::toUtf8(cut ? line.substr(0, kQuotedLineBytes) : line);
    if (cut) {
        // Do not leave half a character behind.
        while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0x80) != 0) {
            const bool lead = (static_cast<unsigned char>(text.back()) & 0xC0) == 0xC0;
            text.pop_back();
            if (lead) break;
        }
        text += "...";
    }
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    }
    return text;
}

int64_t DataFileRecords::recordCount() const {
    int64_t n = 0;
    for (const auto& chunk : chunks) n += static_cast<int64_t>(chunk->dates.size());
    return n;
}

void DataFileRecords::handTo(DataChunkSink& sink) const {
    for (const auto& chunk : chunks) sink.take(*chunk);
}

void DataFileParser::stream(DataChunkSink& sink) {
    if (sink_ != nullptr) return;
    sink_ = &sink;
    // The last chunk, still being filled, is handed once full.
    const size_t full = chunks_.empty() ? 0 : chunks_.size() - 1;
    for (size_t i = 0; i < full; ++i) sink.take(*chunks_[i]);
    if (full > 0) chunks_.erase(chunks_.begin(), chunks_.begin() + static_cast<std::ptrdiff_t>(full));
    if (!chunks_.empty() && lastChunkShared_) {
        // A copy handed out earlier holds it: fill one of our own from here.
        chunks_.back() = std::make_shared<DataChunk>(*chunks_.back());
        chunks_.back()->dates.reserve(DataChunk::kRecords);
        chunks_.back()->values.reserve(DataChunk::kRecords);
        lastChunkShared_ = false;
    }
    bytes_ = chunks_.size() * chunkBytes();
    for (const DataBadLine& bad : badLines_) bytes_ += sizeof(DataBadLine) + bad.quoted.size() + bad.error.size();
}

size_t DataFileParser::addCompleteLines(std::string_view text) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* p = begin;
    while (p < end) {
        // A line ends at LF, CR or CR LF. A CR that ends the text ends its
        // line: an LF coming after it later only adds an empty line.
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* lineEnd = lf ? lf : end;
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', static_cast<size_t>(lineEnd - p)));
        const char* next;
        if (cr) {
            lineEnd = cr;
            next = (cr + 1 < end && cr[1] == '\n') ? cr + 2 : cr + 1;
        } else if (lf) {
            next = lf + 1;
        } else {
            break;  // unfinished
        }
        addLine(std::string_view(p, static_cast<size_t>(lineEnd - p)));
        p = next;
    }
    return static_cast<size_t>(p - begin);
}

void DataFileParser::addLine(std::string_view raw) {
    ++lines_;
    const std::string_view line = trimDataLine(raw);
    DataRecord r;
    std::string error;
    switch (parseDataLine(line, r, error)) {
        case DataLine::Skipped:
            return;
        case DataLine::Bad:
            if (++badCount_ <= DataFileRecords::kListedBadLines) {
                badLines_.push_back(DataBadLine{quoteDataLine(line), std::move(error), lines_});
                bytes_ += sizeof(DataBadLine) + badLines_.back().quoted.size() + badLines_.back().error.size();
            }
            return;
        case DataLine::Record: {
            const int64_t date = clock_.toMillis(r.year, r.month, r.day, r.hour, r.minute, r.second);
            if (date < previous_ && outOfOrder_++ == 0) firstOutOfOrderLine_ = lines_;
            previous_ = date;
            addRecord(date, r.value);
            return;
        }
    }
}

void DataFileParser::addRecord(int64_t date, double value) {
    if (sink_ != nullptr && !chunks_.empty() && chunks_.back()->dates.size() >= DataChunk::kRecords) {
        // Streaming: the full chunk goes out and is filled again.
        DataChunk& full = *chunks_.back();
        sink_->take(full);
        full.dates.clear();
        full.values.clear();
        full.earliest = INT64_MAX;
        full.latest = INT64_MIN;
    } else if (chunks_.empty() || chunks_.back()->dates.size() >= DataChunk::kRecords) {
        auto chunk = std::make_shared<DataChunk>();
        chunk->dates.reserve(DataChunk::kRecords);
        chunk->values.reserve(DataChunk::kRecords);
        chunks_.push_back(std::move(chunk));
        lastChunkShared_ = false;
        bytes_ += chunkBytes();
    } else if (lastChunkShared_) {
        auto copy = std::make_shared<DataChunk>(*chunks_.back());
        copy->dates.reserve(DataChunk::kRecords);
        copy->values.reserve(DataChunk::kRecords);
        chunks_.back() = std::move(copy);
        lastChunkShared_ = false;
    }
    DataChunk& chunk = *chunks_.back();
    chunk.dates.push_back(date);
    chunk.values.push_back(value);
    chunk.earliest = std::min(chunk.earliest, date);
    chunk.latest = std::max(chunk.latest, date);
}

std::shared_ptr<DataFileRecords> DataFileParser::records(std::string_view rest) {
    auto out = std::make_shared<DataFileRecords>();
    out->badLines = badLines_;
    out->badCount = badCount_;
    out->outOfOrder = outOfOrder_;
    out->firstOutOfOrderLine = firstOutOfOrderLine_;
    std::shared_ptr<const DataChunk> restChunk;
    if (!rest.empty()) {
        // The unfinished line counts as it stands, in a parser of its own so
        // that nothing of it stays here.
        DataFileParser last;
        last.lines_ = lines_;
        last.previous_ = previous_;
        last.addLine(rest);
        if (last.outOfOrder_ > 0 && out->outOfOrder++ == 0) out->firstOutOfOrderLine = last.firstOutOfOrderLine_;
        if (!last.chunks_.empty()) {
            DataChunk& one = *last.chunks_.front();
            one.dates.shrink_to_fit();  // one record, not a whole chunk's room
            one.values.shrink_to_fit();
            restChunk = last.chunks_.front();
        }
        if (last.badCount_ > 0) {
            if (++out->badCount <= DataFileRecords::kListedBadLines) out->badLines.push_back(last.badLines_.front());
        }
    }
    if (sink_ != nullptr) {
        for (const auto& chunk : chunks_) sink_->take(*chunk);
        if (restChunk) sink_->take(*restChunk);
        chunks_.clear();
        return out;
    }
    out->chunks.assign(chunks_.begin(), chunks_.end());
    lastChunkShared_ = !chunks_.empty();
    if (restChunk) out->chunks.push_back(restChunk);
    return out;
}
