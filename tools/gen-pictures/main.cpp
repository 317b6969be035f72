// gen-pictures: writes the program's pictures (keyboard strip, note and marker sprites, icon)
// into resources/ and the background pictures into media/images/, or with --check compares
// what it would write with the files that are there.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/gen-pictures/pictures.h"

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: gen-pictures [--check] [--resources DIR] [--images DIR]\n"
                 "  --resources DIR  where keyboard.bmp, note.bmp, marker.bmp and lyrivox.ico go\n"
                 "                   (default: the source tree's resources/)\n"
                 "  --images DIR     where the background pictures go (default: media/images/)\n"
                 "  --check          write nothing; report files that differ, exit 1 if any do\n");
}

bool readFile(const std::string& path, pictures::Bytes& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool writeFile(const std::string& path, const pictures::Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    std::string resources = std::string(LYRIVOX_SOURCE_DIR) + "/resources";
    std::string images = std::string(LYRIVOX_SOURCE_DIR) + "/media/images";
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check") == 0) {
            check = true;
        } else if (std::strcmp(argv[i], "--resources") == 0 && i + 1 < argc) {
            resources = argv[++i];
        } else if (std::strcmp(argv[i], "--images") == 0 && i + 1 < argc) {
            images = argv[++i];
        } else {
            usage();
            return 2;
        }
    }
    int problems = 0;
    for (const pictures::OutputFile& file : pictures::allPictures()) {
        const std::string path = (file.folder == "resources" ? resources : images) + "/" + file.name;
        if (check) {
            pictures::Bytes existing;
            if (!readFile(path, existing)) {
                std::printf("missing  %s\n", path.c_str());
                ++problems;
            } else if (existing != file.bytes) {
                std::printf("differs  %s\n", path.c_str());
                ++problems;
            } else {
                std::printf("same     %s\n", path.c_str());
            }
        } else if (!writeFile(path, file.bytes)) {
            std::fprintf(stderr, "gen-pictures: cannot write %s\n", path.c_str());
            ++problems;
        } else {
            std::printf("wrote    %s (%zu bytes)\n", path.c_str(), file.bytes.size());
        }
    }
    return problems == 0 ? 0 : 1;
}
