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

std::vector<bool> ChartOutput::writeOut() {
    std::vector<bool> written(images_.size(), false);
    size_t from = 0;
    for (const Piece& piece : pieces_) {
        lines_.flush(from, piece.at);
        from = piece.at;
        if (piece.image) {
            Image& image = images_[piece.index];
            written[piece.index] = Indication_Graph::writeImageFile(image.kind.c_str(), image.path, image.bytes);
            std::string().swap(image.bytes);  // written: its memory goes back at once
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
