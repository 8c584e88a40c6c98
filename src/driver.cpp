// The two modes of a run: a header beside each bitmap, or every image in
// one "data.h". Both print their progress and, on failure, the error line,
// and stop at the first failure; main turns the result into the status.
#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <set>
#include <system_error>
#include <thread>

#include "handoff.h"
#include "main.h"
#include "output_file.h"

namespace {

bool cant_write(const std::string& file)
{
    std::printf("error: can't write file %s\n", file.c_str());
    return false;
}

bool report(bmp_error error, const char* path)
{
    switch (error) {
    case bmp_error::none:
        return true;
    case bmp_error::cant_open:
        std::printf("error: can't open file %s\n", path);
        break;
    case bmp_error::read_failed:
        std::printf("error: can't read file %s\n", path);
        break;
    case bmp_error::bad_format:
        std::printf("error: wrong BMP format\n");
        break;
    case bmp_error::unsupported:
        std::printf("error: unsupported BMP format\n");
        break;
    case bmp_error::truncated:
        std::printf("error: truncated BMP file\n");
        break;
    case bmp_error::too_large:
        std::printf("error: image too large\n");
        break;
    case bmp_error::out_of_memory:
        std::printf("error: out of memory\n");
        break;
    }
    return false;
}

using image_ptr = std::unique_ptr<bmp_image, void (*)(bmp_image*)>;

image_ptr load(const char* path)
{
    std::printf("Loading %s\n", path);
    bmp_error error = bmp_error::none;
    image_ptr image(load_bmp(path, error), &free_bmp);
    report(error, path);
    return image;
}

// Loads the next file of a combined run on a thread of its own while the
// current one is formatted and written, so that a folder of small pictures
// keeps both cores busy as one big picture does. Only what a file's own
// messages say is visible, and those are printed in order as each is taken.
// A big picture is not loaded ahead of a big one, so that no more than one
// is held at a time.
class lookahead {
public:
    lookahead(int count, char** files) : count_(count), files_(files)
    {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            // No thread to be had: every file is loaded when it is taken.
        }
    }

    ~lookahead()
    {
        state_.update([](slot& s) { s.stop = true; });
        if (thread_.joinable())
            thread_.join();
        free_bmp(state_.get().image);
    }

    // Prints "Loading", then loads files[i], or takes it loaded ahead.
    image_ptr take(int i)
    {
        std::printf("Loading %s\n", files_[i]);
        const slot ahead =
            state_.wait([&](const slot& s) { return s.loaded == i || s.wanted != i || !thread_.joinable(); });
        bmp_error error = ahead.error;
        image_ptr image(ahead.loaded == i ? ahead.image : nullptr, &free_bmp);
        if (ahead.loaded != i)
            image.reset(load_bmp(files_[i], error));
        state_.update([&](slot& next) {
            next.image = nullptr, next.loaded = -1;
            // A big picture's next is loaded once the big one is freed.
            next.wanted = i + 1 < count_ && (!image || is_small(*image)) ? i + 1 : -1;
        });
        report(error, files_[i]);
        return image;
    }

private:
    struct slot {
        int wanted = 0, loaded = -1;  // the file to load ahead, and the one that is
        bmp_image* image = nullptr;
        bmp_error error = bmp_error::none;
        bool stop = false;
    };

    static bool is_small(const bmp_image& image) { return image.decoding == nullptr; }

    void run()
    {
        for (;;) {
            const slot next =
                state_.wait([](const slot& s) { return s.stop || (s.wanted >= 0 && s.loaded != s.wanted); });
            if (next.stop)
                return;
            bmp_error error = bmp_error::none;
            bmp_image* image = load_bmp(files_[next.wanted], error);
            state_.update([&](slot& done) { done.loaded = next.wanted, done.image = image, done.error = error; });
        }
    }

    int count_;
    char** files_;
    handoff<slot> state_;
    std::thread thread_;
};

// Appends one image to data.h. False after its error line; keep then says
// whether data.h may still be put in place with the images before it.
bool append_image(output_file& out, const char* path, image_ptr image, std::set<std::string>& declared, bool& keep)
{
    std::string name = header_name(path);
    if (!image)
        return false;
    if (out.replaces(path)) {
        keep = false;  // data.h is this very input
        return cant_write("data.h");
    }
    // A repeated identifier would make data.h fail to compile.
    const std::string id = c_identifier(image_name(name));
    const std::array<std::string, 3> ids = {id, id + "_x", id + "_y"};
    if (std::any_of(ids.begin(), ids.end(), [&](const std::string& s) { return declared.count(s) != 0; })) {
        std::printf("error: duplicate image name %s\n", id.c_str());
        return false;
    }
    declared.insert(ids.begin(), ids.end());
    const bool written = make_data(out.stream(), name, *image);
    if (!report(decoding_error(*image), path))
        return false;  // the rest of the picture could not be read
    return written || cant_write("data.h");
}

}  // namespace

bool run_single(int count, char** files)
{
    for (int i = 0; i < count; ++i) {
        const image_ptr image = load(files[i]);
        if (!image)
            return false;
        std::string name = header_name(files[i]);
        const std::string file = name;
        output_file out;
        // Replacing the input by its own header would destroy it.
        if (!out.open(file) || out.replaces(files[i]))
            return cant_write(file);
        std::printf("Writing %s\n", file.c_str());
        make_header(out.stream());
        const bool written = make_data(out.stream(), name, *image);
        if (!report(decoding_error(*image), files[i]))
            return false;  // the rest of the picture could not be read
        if (!written || !out.commit())
            return cant_write(file);
    }
    return true;
}

bool run_combined(int count, char** files)
{
    const std::string file = "data.h";
    std::printf("Making %s\n", file.c_str());
    output_file out;
    if (!out.open(file))
        return cant_write(file);
    make_header(out.stream());

    std::set<std::string> declared;
    uint64_t complete = out.size();  // where the last complete image ends
    bool keep = true;
    lookahead images(count, files);
    for (int i = 0; i < count; ++i) {
        bool appended = false;
        try {
            appended = append_image(out, files[i], images.take(i), declared, keep);
        } catch (const std::bad_alloc&) {
            std::printf("error: out of memory\n");
        }
        if (!appended) {
            // data.h gets the images before the failing one, never a part
            // of it; if even that cannot be written, it stays as it was.
            if (keep && out.truncate(complete))
                out.commit();
            return false;
        }
        complete = out.size();
    }
    return out.commit() || cant_write(file);
}
