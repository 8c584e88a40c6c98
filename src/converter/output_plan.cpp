#include "output_plan.h"

#include <cstdio>
#include <map>

#include "command_line.h"
#include "file_identity.h"
#include "paths.h"

namespace {

output_names names_of(const std::string& header, data_form form)
{
    output_names names{header, "", ""};
    if (form != data_form::header)
        names.source = source_name(header);
    if (form == data_form::assembler)
        names.stem = word_file_stem(names.source);
    return names;
}

// A split form's source includes its header by its name alone, and nothing
// in an #include "..." can stand for a '"' or a line break.
bool includable(const std::string& header)
{
    return header.find_first_of("\"\n\r", name_start(header)) == std::string::npos;
}

// A file written, and the picture it is written for (every picture's, in
// combined mode).
struct written_file {
    const std::string* path;
    file_key key;
    size_t picture;
};

}  // namespace

bool plan_run(const std::vector<char*>& files, const run_settings& settings, bool combined, run_plan& plan)
{
    plan.pictures.clear();
    std::vector<file_key> inputs;
    for (const char* path : files) {
        planned_picture& p = plan.pictures.emplace_back();
        p.path = path;
        const std::string header = header_name(path);
        p.name = std::string(image_name(header));
        p.id = c_identifier(p.name);
        if (!combined)
            p.out = names_of(settings.output_dir.empty() ? header : in_directory(settings.output_dir, header),
                             settings.form);
        inputs.push_back(key_of(path));
    }
    if (combined)
        plan.combined = names_of(in_directory(settings.output_dir, settings.combined_name), settings.form);

    std::vector<written_file> outputs;
    const auto add = [&](const std::string& path, size_t picture) {
        if (!path.empty())
            outputs.push_back({&path, key_of(path), picture});
    };
    if (combined)
        add(plan.combined.header, SIZE_MAX), add(plan.combined.source, SIZE_MAX);
    for (size_t i = 0; i < plan.pictures.size() && !combined; ++i)
        add(plan.pictures[i].out.header, i), add(plan.pictures[i].out.source, i);

    // Whether two files are written for one picture named twice.
    const auto one_picture = [&](size_t a, size_t b) {
        return a != SIZE_MAX && b != SIZE_MAX && same_file(inputs[a], inputs[b]);
    };
    for (size_t i = 0; i < outputs.size(); ++i) {
        const written_file& w = outputs[i];
        // A file written over one that is read would destroy it, perhaps
        // before it is read.
        for (const file_key& input : inputs)
            if (same_file(w.key, input))
                return std::printf("error: can't write file %s\n", w.path->c_str()), false;
        // Two pictures whose files are one: the second would silently
        // replace the first's. One picture named twice writes its files
        // twice, as it always has.
        for (size_t j = 0; j < i; ++j)
            if (same_file(w.key, outputs[j].key) && !one_picture(w.picture, outputs[j].picture))
                return std::printf("error: duplicate header %s\n", w.path->c_str()), false;
    }
    if (settings.form != data_form::header) {
        for (const written_file& w : outputs)
            if (!includable(*w.path))
                return std::printf("error: can't #include file %s\n", w.path->c_str()), false;
    }
    return true;
}

void list_outputs(const run_plan& plan, bool combined, data_form form)
{
    const auto files = [&](const output_names& names) {
        std::printf("header %s\n", names.header.c_str());
        if (form != data_form::header)
            std::printf("source %s\n", names.source.c_str());
    };
    if (combined)
        files(plan.combined);
    for (const planned_picture& p : plan.pictures) {
        if (!combined)
            files(p.out);
        std::printf("identifier %s\n", p.id.c_str());
    }
}
