// gen-songs: writes the demo songs of media/karaoke/ from the scores in tools/gen-songs/scores/,
// checks that the committed songs match their scores, or writes the short test songs.
//
//   gen-songs                      regenerate every song into media/karaoke/
//   gen-songs --check              exit 1 when a committed song differs from its score
//   gen-songs --test-songs DIR     write the system tests' short songs into DIR
//   gen-songs --scores DIR --out DIR   other folders than the defaults

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "gen_songs.h"

namespace {

bool writeAll(const std::string& folder, const std::vector<gensongs::Output>& songs) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    for (const gensongs::Output& song : songs) {
        std::string path = folder + "/" + song.fileName;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(song.bytes.data()),
                  static_cast<std::streamsize>(song.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "gen-songs: cannot write %s\n", path.c_str());
            return false;
        }
        std::printf("%s (%zu bytes)\n", path.c_str(), song.bytes.size());
    }
    return true;
}

bool matches(const std::string& folder, const std::vector<gensongs::Output>& songs) {
    bool same = true;
    for (const gensongs::Output& song : songs) {
        std::string path = folder + "/" + song.fileName;
        std::ifstream in(path, std::ios::binary);
        gensongs::Bytes old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (old != song.bytes) {
            std::fprintf(stderr, "gen-songs: %s differs from its score\n", path.c_str());
            same = false;
        }
    }
    return same;
}

int usage() {
    std::fprintf(stderr,
                 "usage: gen-songs [--scores DIR] [--out DIR] [--check]\n"
                 "       gen-songs --test-songs DIR\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string scores = GEN_SONGS_SCORES_DIR;
    std::string out = GEN_SONGS_MEDIA_DIR;
    std::string testDir;
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--scores") && hasValue)
            scores = argv[++i];
        else if (!std::strcmp(argv[i], "--out") && hasValue)
            out = argv[++i];
        else if (!std::strcmp(argv[i], "--test-songs") && hasValue)
            testDir = argv[++i];
        else if (!std::strcmp(argv[i], "--check"))
            check = true;
        else
            return usage();
    }
    if (!testDir.empty()) return writeAll(testDir, gensongs::testSongs()) ? 0 : 1;

    std::vector<gensongs::Output> songs;
    std::string error;
    if (!gensongs::buildScores(scores, songs, error)) {
        std::fprintf(stderr, "gen-songs: %s\n", error.c_str());
        return 1;
    }
    if (check) return matches(out, songs) ? 0 : 1;
    return writeAll(out, songs) ? 0 : 1;
}
