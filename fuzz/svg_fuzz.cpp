// A whole chart written as SVG: the document an XML parser reads without
// error, one <svg> of the image's size, every id in it distinct and carrying
// the document's own prefix, and every glyph placed with <use> defined in it.
//
// Whatever GRAPH_DATA_FILE names reads the data file; the graph file's own
// image keys are overridden so that only the SVG is written.

#include "fuzz/FuzzChart.h"

#include <expat.h>

#include <set>

using namespace fuzz;

namespace {

struct Document {
    int depth = 0;
    int roots = 0;
    std::string width, height;
    std::vector<std::string> ids;
    std::vector<std::string> references;
};

const char* attribute(const XML_Char** attrs, std::string_view name) {
    for (int i = 0; attrs[i] != nullptr; i += 2)
        if (name == attrs[i]) return attrs[i + 1];
    return nullptr;
}

void XMLCALL onStart(void* user, const XML_Char* name, const XML_Char** attrs) {
    Document& d = *static_cast<Document*>(user);
    if (d.depth++ == 0) {
        ++d.roots;
        FUZZ_CHECK(std::string_view(name) == "http://www.w3.org/2000/svg svg", name);
        const char* w = attribute(attrs, "width");
        const char* h = attribute(attrs, "height");
        d.width = w ? w : "";
        d.height = h ? h : "";
    }
    if (const char* id = attribute(attrs, "id")) d.ids.emplace_back(id);
    if (const char* href = attribute(attrs, "http://www.w3.org/1999/xlink href")) d.references.emplace_back(href);
    if (const char* labelled = attribute(attrs, "aria-labelledby")) d.references.emplace_back("#" + std::string(labelled));
    if (const char* clip = attribute(attrs, "clip-path")) {
        const std::string_view c(clip);
        FUZZ_CHECK(c.substr(0, 5) == "url(#" && c.back() == ')', clip);
        d.references.emplace_back("#" + std::string(c.substr(5, c.size() - 6)));
    }
}

void XMLCALL onEnd(void* user, const XML_Char*) { --static_cast<Document*>(user)->depth; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup& s = setup();
    Input in(data, size);
    loadInput(in, "\nGRAPH_PRINT_GIF_VALID=no\nGRAPH_PRINT_PNG_VALID=no\nGRAPH_PRINT_SCALES=1\n"
                  "GRAPH_PRINT_SVG_VALID=yes\nGRAPH_PRINT_SVG_NAME=fuzz.svg\n");

    Indication_Graph surface;
    if (!surface.initGraphique(kGraphPath)) return 0;
    const Image& image = *surface.offScrImage;
    if (static_cast<int64_t>(image.getWidth()) * image.getHeight() > kMaxDrawnPixels) return 0;
    surface.init();
    const std::string summary = surface.SaveToImage();
    const auto it = s.platform.written.find("fuzz.svg");
    FUZZ_CHECK(it != s.platform.written.end(), "no SVG written: " + summary);
    FUZZ_CHECK(s.platform.written.size() == 1, "more than the SVG written");
    const std::string& svg = it->second;

    Document doc;
    XML_Parser parser = XML_ParserCreateNS("UTF-8", ' ');
    XML_SetUserData(parser, &doc);
    XML_SetElementHandler(parser, onStart, onEnd);
    const bool parsed = XML_Parse(parser, svg.data(), static_cast<int>(svg.size()), 1) == XML_STATUS_OK;
    const std::string why = parsed ? "" : XML_ErrorString(XML_GetErrorCode(parser));
    const auto line = XML_GetCurrentLineNumber(parser);
    XML_ParserFree(parser);
    FUZZ_CHECK(parsed, why + " at line " + std::to_string(line));
    FUZZ_CHECK(doc.roots == 1, "one root");
    FUZZ_CHECK(doc.width == std::to_string(image.getWidth()) && doc.height == std::to_string(image.getHeight()),
               doc.width + "x" + doc.height);

    FUZZ_CHECK(!doc.ids.empty(), "no title id");
    const std::string& first = doc.ids.front();
    const std::string prefix = first.substr(0, first.find('-') + 1);
    FUZZ_CHECK(prefix.size() == 15 && prefix.rfind("zq", 0) == 0, first);
    std::set<std::string> ids;
    for (const std::string& id : doc.ids) {
        FUZZ_CHECK(id.rfind(prefix, 0) == 0, id + " without " + prefix);
        FUZZ_CHECK(ids.insert(id).second, "id " + id + " twice");
    }
    for (const std::string& ref : doc.references) {
        FUZZ_CHECK(ref.size() > 1 && ref[0] == '#' && ids.count(ref.substr(1)) == 1, "dangling " + ref);
    }
    return 0;
}
