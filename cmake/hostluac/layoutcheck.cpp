// The layout checker of the builder: a native program that parses a layout document with the parser
// the engine uses and prints pugixml's verdict, then every element with its attributes, for
// tools/productcheck.py to check against the table of names.
//
//   layoutcheck FILE      FILE is UTF-8 text
//
// Output, one record a line, fields separated by tabs (backslash, tab, CR and LF in values escaped):
//   error  OFFSET  DESCRIPTION            the document does not parse (exit code 1)
//   element  OFFSET  DEPTH  NAME           an element, in document order; DEPTH 0 is the root
//   attribute  NAME  VALUE                 an attribute of the element before
// OFFSET counts bytes from the start of the file. Exit code 2: the file cannot be read.
#include <pugixml.hpp>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Escaped(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        switch (*p) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += *p;
        }
    }
    return out;
}

bool ReadFile(const char* path, std::vector<char>& data) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    char block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) data.insert(data.end(), block, block + got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

void List(pugi::xml_node node, int depth) {
    for (pugi::xml_node element = node.first_child(); element; element = element.next_sibling()) {
        if (element.type() != pugi::node_element) continue;
        std::printf("element\t%lld\t%d\t%s\n", static_cast<long long>(element.offset_debug()), depth,
                    Escaped(element.name()).c_str());
        for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute())
            std::printf("attribute\t%s\t%s\n", Escaped(a.name()).c_str(), Escaped(a.value()).c_str());
        List(element, depth + 1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: layoutcheck FILE\n");
        return 2;
    }
    std::vector<char> data;
    if (!ReadFile(argv[1], data)) {
        std::fprintf(stderr, "layoutcheck: cannot read %s\n", argv[1]);
        return 2;
    }
    pugi::xml_document document;
    // The engine's options: the default parse of the whole document.
    const pugi::xml_parse_result parsed =
        document.load_buffer(data.data(), data.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) {
        std::printf("error\t%lld\t%s\n", static_cast<long long>(parsed.offset), parsed.description());
        return 1;
    }
    List(document, 0);
    return 0;
}
