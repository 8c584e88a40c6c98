// The reader over the BMP conformance corpus, in place, over bitmaps that
// other programs wrote (tests/files) and over the regression files in
// tests/regressions: every file is pinned to what it must give, and a file
// without a pin fails.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "test_util.h"

namespace {

const fs::path corpus = VANTREL_CORPUS;
const fs::path regressions = VANTREL_REGRESSIONS;
const fs::path own_files = VANTREL_TEST_FILES;

// What a file must give: an error, or the words of a reference rendering
// (a PPM), or for an unusual file that has no rendering, a picture.
struct outcome {
    bmp_error error = bmp_error::none;
    std::string rendering{};
};

const auto fault = outcome{bmp_error::bad_format}, unsupported = outcome{bmp_error::unsupported};
const auto rendering = [](const char* ppm) { return outcome{.rendering = (corpus / "expected" / ppm).string()}; };
const auto pal1 = rendering("pal1.ppm"), pal8 = rendering("pal8.ppm"), rgb16 = rendering("rgb16.ppm"),
           rgb24 = rendering("rgb24.ppm");

// The g/ files are pinned by the corpus's own expected.tsv. The b/ files that
// convert break only fields the reader does not need (densities, the file
// and image sizes) or a colour count larger than the palette. The q/ files
// that have no rendering of their own in the corpus have one in
// tests/files/q, made by an independent decoder.
const std::map<std::string, outcome> pinned = {
    {"b/badbitcount.bmp", fault}, {"b/badbitssize.bmp", pal1}, {"b/baddens1.bmp", pal1}, {"b/baddens2.bmp", pal1},
    {"b/badfilesize.bmp", pal1}, {"b/badheadersize.bmp", fault}, {"b/badpalettesize.bmp", pal8},
    {"b/badplanes.bmp", fault}, {"b/badrle.bmp", fault}, {"b/badrle4.bmp", fault}, {"b/badrle4bis.bmp", fault},
    {"b/badrle4ter.bmp", fault}, {"b/badrlebis.bmp", fault}, {"b/badrleter.bmp", fault}, {"b/badwidth.bmp", fault},
    {"b/pal8badindex.bmp", fault}, {"b/reallybig.bmp", {bmp_error::too_large}}, {"b/rgb16-880.bmp", fault},
    {"b/rletopdown.bmp", fault}, {"b/shortfile.bmp", {bmp_error::truncated}},
    {"x/ba-bm.bmp", fault}, {"regressions/rle8-huge-bad-index.bmp", fault},
    {"q/pal1huffmsb.bmp", unsupported}, {"q/rgb24jpeg.bmp", unsupported}, {"q/rgb24png.bmp", unsupported},
    {"q/rgb24rle24.bmp", unsupported}, {"q/rgba64.bmp", unsupported},
    {"q/pal8offs.bmp", pal8}, {"q/pal8os2-hs.bmp", pal8}, {"q/pal8os2-sz.bmp", pal8}, {"q/pal8os2sp.bmp", pal8},
    {"q/pal8os2v2-16.bmp", pal8}, {"q/pal8os2v2-40sz.bmp", pal8}, {"q/pal8os2v2-sz.bmp", pal8},
    {"q/pal8os2v2.bmp", pal8}, {"q/pal8oversizepal.bmp", pal8}, {"q/rgb16faketrns.bmp", rgb16},
    {"q/rgba16-5551.bmp", rgb16}, {"q/rgb24largepal.bmp", rgb24}, {"q/rgb24lprof.bmp", rgb24},
    {"q/rgb24prof.bmp", rgb24}, {"q/rgb32-xbgr.bmp", rgb24}, {"q/rgb32fakealpha.bmp", rgb24},
    {"q/rgb32h52.bmp", rgb24},
};

const std::string no_corpus = "no corpus";

std::vector<std::string> corpus_files()
{
    std::vector<std::string> files;
    for (const char* folder : {"g", "b", "q", "x"})
        if (fs::is_directory(corpus / folder))
            for (const auto& entry : fs::directory_iterator(corpus / folder))
                files.push_back(fs::relative(entry.path(), corpus).generic_string());
    std::ifstream tsv(own_files / "expected.tsv");
    for (std::string line; std::getline(tsv, line);)
        if (line.starts_with("writers/"))
            files.push_back("files/" + line.substr(0, line.find('\t')));
    if (fs::is_directory(regressions))
        for (const auto& entry : fs::directory_iterator(regressions))
            if (entry.path().extension() != ".md")
                files.push_back("regressions/" + entry.path().filename().string());
    std::sort(files.begin(), files.end());
    // A clone without the corpus beside it still passes, with the test shown
    // as skipped rather than silently absent.
    if (files.empty())
        files.push_back(no_corpus);
    return files;
}

fs::path path_of(const std::string& file)
{
    if (file.starts_with("files/"))
        return own_files / file.substr(6);
    return file.starts_with("regressions/") ? regressions / file.substr(12) : corpus / file;
}

outcome expected_for(const std::string& file)
{
    if (const auto it = pinned.find(file); it != pinned.end())
        return it->second;
    // Renderings are named relative to their table; ours also has some for
    // corpus files.
    const std::string name = file.starts_with("files/") ? file.substr(6) : file;
    for (const fs::path& root : {own_files, corpus}) {
        std::ifstream tsv(root / "expected.tsv");
        for (std::string line; std::getline(tsv, line);)
            if (line.starts_with(name + "\t"))
                return {.rendering = (root / line.substr(name.size() + 1)).string()};
    }
    ADD_FAILURE() << file << " has no pinned result";
    return {};
}

class Corpus : public ::testing::TestWithParam<std::string> {};

TEST_P(Corpus, GivesItsPinnedResult)
{
    const std::string& file = GetParam();
    if (file == no_corpus)
        GTEST_SKIP() << "no BMP corpus at " << corpus.string();
    const outcome want = expected_for(file);
    bmp_error error = bmp_error::none;
    std::unique_ptr<bmp_image, void (*)(bmp_image*)> image(load_bmp(path_of(file).string().c_str(), error), &free_bmp);
    ASSERT_EQ(error, want.error);
    if (want.error != bmp_error::none) {
        // The program reports it, with status 1 and no declarations written.
        scratch_dir dir;
        const run_result r = run_in(dir.path, quoted(program) + " -a " + quoted(path_of(file).string()));
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find("\nerror: "), std::string::npos) << r.output;
        EXPECT_EQ(r.output.back(), '\n');
        EXPECT_EQ(lf_text(read_file(dir / "data.h")), banner_text);
        return;
    }
    if (!want.rendering.empty()) {
        const picture want_picture = read_ppm(want.rendering);
        ASSERT_EQ(image->width, want_picture.width);
        ASSERT_EQ(image->height, want_picture.height);
        // The record keeps each row mirrored.
        const int width = image->width;
        for (int i = 0; i < width * image->height; ++i) {
            const uint8_t* c = &want_picture.rgb[size_t(3 * i)];
            ASSERT_EQ(image->pixels[i / width * width + width - 1 - i % width], pack_ycbcr(c[0], c[1], c[2])) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, ::testing::ValuesIn(corpus_files()), [](const auto& file) {
    std::string name = file.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
});

}  // namespace
