// Every name a run gives, computed once before anything is read: for each
// picture its image name and identifier, and the files each output is made
// of. The run, the list of outputs (--list-outputs) and the checks all take
// their names from here.
#ifndef VANTREL_OUTPUT_PLAN_H
#define VANTREL_OUTPUT_PLAN_H

#include <string>
#include <vector>

#include "converter.h"

// The files of one output: its header, and in a split form its source; in
// the assembler form the word files are named after stem and their content
// ("logo.c" gives the stem "logo", and "logo.<hash>.le.bin").
struct output_names {
    std::string header, source, stem;
};

struct planned_picture {
    const char* path = nullptr;
    std::string name;  // the image name: the header name less ".h" ("pics/logo")
    std::string id;    // the identifier its declarations use
    output_names out;  // single-file mode: its own files
};

struct run_plan {
    std::vector<planned_picture> pictures;
    output_names combined;  // combined mode: data.h and the rest
};

// The plan of a run, checked: no two pictures write one file, no file
// written is one read, and a split form's header can be named by an
// #include. False, with the error line printed, when a check fails.
bool plan_run(const std::vector<char*>& files, const run_settings& settings, bool combined, run_plan& plan);

// Prints what the run would write, a line each ("header <path>",
// "source <path>", "identifier <id>"), for build tools.
void list_outputs(const run_plan& plan, bool combined, data_form form);

#endif
