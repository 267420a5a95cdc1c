#include "chart/ChartOutput.h"

#include "chart/DataFileCache.h"
#include "chart/Indication_Graph.h"
#include "support/Indication_Tools.h"

size_t ChartOutput::holdImage(std::string kind, std::string path, std::string bytes) {
    pieces_.push_back(Piece{lines_.size(), true, images_.size()});
    images_.push_back(Image{std::move(kind), std::move(path), std::move(bytes)});
    return images_.size() - 1;
}

void ChartOutput::holdFindings(DataFileCache* cache, std::string path, uint64_t contentKey, std::string category,
                               std::vector<std::string> reports) {
    pieces_.push_back(Piece{lines_.size(), false, findings_.size()});
    findings_.push_back(Findings{cache, std::move(path), contentKey, std::move(category), std::move(reports)});
}

void ChartOutput::stageImages(AtomicWrites::Batch& batch) {
    for (Image& image : images_) {
        image.file = batch.add(image.path, image.bytes);
        std::string().swap(image.bytes);  // in its file now: the memory goes back at once
    }
}

std::vector<AtomicWrites::Replaced> ChartOutput::writeOut(const AtomicWrites::Batch& batch) {
    std::vector<AtomicWrites::Replaced> written;
    written.reserve(images_.size());
    for (const Image& image : images_) written.push_back(batch.result(image.file).outcome);
    size_t from = 0;
    for (const Piece& piece : pieces_) {
        lines_.flush(from, piece.at);
        from = piece.at;
        if (piece.image) {
            const Image& image = images_[piece.index];
            Indication_Graph::reportImageWrite(image.kind.c_str(), image.path, batch.result(image.file));
            continue;
        }
        const Findings& f = findings_[piece.index];
        if (f.cache != nullptr && !f.cache->firstTelling(f.path, f.contentKey)) continue;
        for (const std::string& report : f.reports) Indication_Tools::Outils_AfficheMsg_System(f.category, report, true);
    }
    lines_.flush(from, lines_.size());
    lines_.clear();
    images_.clear();
    findings_.clear();
    pieces_.clear();
    return written;
}

std::vector<AtomicWrites::Replaced> ChartOutput::writeOut(bool keepUnchanged) {
    AtomicWrites::Batch batch(keepUnchanged);
    stageImages(batch);
    batch.commit();
    return writeOut(batch);
}
