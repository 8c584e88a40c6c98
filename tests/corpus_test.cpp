// The reader over the BMP conformance corpus in place, over bitmaps that
// other programs wrote (tests/files/writers) and over the regression files:
// the corpus's expected.tsv and ours pin every file to the picture it holds
// or the error it gives, and a file without a pin fails.
#include <gtest/gtest.h>

#include <map>

#include "test_util.h"

namespace {

const fs::path corpus = VANTREL_CORPUS, own_files = VANTREL_TEST_FILES;

// File to pin: a rendering's path, "as <another file>" or an error message.
const std::map<std::string, std::string> pinned = [] {
    std::map<std::string, std::string> pins;
    for (const fs::path& table : {corpus, own_files}) {
        std::ifstream tsv(table / "expected.tsv");
        for (std::string line; std::getline(tsv, line);)
            if (const size_t tab = line.find('\t'); tab != std::string::npos && !line.starts_with("#")) {
                const std::string pin = line.substr(tab + 1);
                pins[line.substr(0, tab)] = pin.ends_with(".ppm") ? (table / pin).string() : pin;
            }
    }
    return pins;
}();

std::vector<std::string> files()
{
    std::vector<std::string> found;
    for (const char* folder : {"g", "b", "q", "x"})
        if (fs::is_directory(corpus / folder))
            for (const auto& entry : fs::directory_iterator(corpus / folder))
                found.push_back(fs::relative(entry.path(), corpus).generic_string());
    for (const auto& entry : fs::directory_iterator(VANTREL_REGRESSIONS))
        if (entry.path().extension() == ".bmp")
            found.push_back("regressions/" + entry.path().filename().string());
    for (const auto& [file, pin] : pinned)
        if (file.starts_with("writers/"))
            found.push_back(file);
    return found;
}

fs::path path_of(const std::string& file)
{
    if (file.starts_with("regressions/"))
        return fs::path(VANTREL_REGRESSIONS) / file.substr(12);
    return (file.starts_with("writers/") ? own_files : corpus) / file;
}

class Corpus : public ::testing::TestWithParam<std::string> {};

TEST_P(Corpus, GivesItsPinnedResult)
{
    std::string pin = "as " + GetParam();
    while (pin.starts_with("as "))
        pin = pinned.contains(pin.substr(3)) ? pinned.at(pin.substr(3)) : "";
    ASSERT_NE(pin, "") << "no pinned result";
    bmp_error error = bmp_error::none;
    std::unique_ptr<bmp_image, void (*)(bmp_image*)> image(load_bmp(path_of(GetParam()).string().c_str(), error), &free_bmp);
    if (!pin.ends_with(".ppm")) {
        const std::map<std::string, bmp_error> errors = {{"wrong BMP format", bmp_error::bad_format},
            {"unsupported BMP format", bmp_error::unsupported}, {"truncated BMP file", bmp_error::truncated},
            {"image too large", bmp_error::too_large}};
        EXPECT_EQ(error, errors.at(pin));
        return;
    }
    ASSERT_EQ(error, bmp_error::none);
    const picture want = read_ppm(pin);
    ASSERT_EQ(std::pair(image->width, image->height), std::pair(want.width, want.height));
    EXPECT_EQ(words_in(*image), words_of(want));
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, ::testing::ValuesIn(files()), [](const auto& file) {
    std::string name = file.param;
    std::replace_if(name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
});

}  // namespace
