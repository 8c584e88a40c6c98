#include "output_file.h"

#include <filesystem>
#include <memory>
#include <random>
#include <system_error>

namespace {

using file_ptr = std::unique_ptr<FILE, int (*)(FILE*)>;

// Removes the temporary file unless it has been put in place.
struct temporary {
    std::string path;
    bool kept = false;
    ~temporary()
    {
        if (!kept && !path.empty())
            std::remove(path.c_str());
    }
};

// A new file beside path under a name no other file has: "x" mode creates
// it exclusively, so a file of the same name, made by anyone at any time,
// is never opened.
file_ptr create_unique(const std::string& path, std::string& created)
{
    std::random_device seed;
    std::mt19937_64 random(uint64_t{seed()} << 32 | seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = path + "." + std::to_string(random() % 1000000000) + ".tmp";
        file_ptr file(std::fopen(name.c_str(), "wbx"), &std::fclose);
        if (file) {
            created = name;
            return file;
        }
        std::error_code error;
        if (!std::filesystem::exists(name, error))
            break;  // not a clash but a directory that cannot be written
    }
    return file_ptr(nullptr, &std::fclose);
}

}  // namespace

bool replace_file(const std::string& path, const std::function<bool(FILE*)>& fill)
{
    temporary temp;
    file_ptr file = create_unique(path, temp.path);
    if (!file)
        return false;
    const bool filled = fill(file.get()) && std::fflush(file.get()) == 0 && !std::ferror(file.get());
    if (std::fclose(file.release()) != 0 || !filled)
        return false;
    std::error_code error;
    std::filesystem::rename(temp.path, path, error);
    temp.kept = !error;
    return temp.kept;
}
