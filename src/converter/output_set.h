// The files of one output in its form, each written under a temporary name
// (output_file.h) and put in place together, in an order under which the
// files of a form always agree: whatever fails, whatever signal comes and
// whatever other run writes them at once, a build of them gives the old
// pictures or the new ones, never a mix.
//
// - The header form is one file.
// - The split form's header declares what its source defines; both are
//   written whole, and the header is put in place first, where it is left
//   as it was if its text has not changed (so nothing that includes it is
//   compiled again), then the source. A source put in place beside an older
//   header of other sizes fails to compile against it: it includes it.
// - The assembler form's word files are named by their content
//   ("logo.<hash>.le.bin"), so that new ones never replace the words an
//   older source names: they are put in place first, then the header, then
//   the source that names them, and last the word files the replaced source
//   named are removed.
#ifndef VANTREL_OUTPUT_SET_H
#define VANTREL_OUTPUT_SET_H

#include <memory>
#include <string>

#include "converter.h"
#include "output_file.h"
#include "output_plan.h"

class output_set {
public:
    // With uint32_words, the split forms' header declares uint32_t arrays,
    // with bytes (--layout) only bytes (make_declarations_header); note goes
    // into the assembler form's source (make_source_prologue).
    output_set(const output_names& names, data_form form, bool uint32_words, std::string note = {}, bool bytes = false)
        : names_(names), form_(form), uint32_words_(uint32_words), bytes_(bytes), note_(std::move(note))
    {
    }
    ~output_set();
    output_set(const output_set&) = delete;
    output_set& operator=(const output_set&) = delete;

    // Creates every file's temporary file: "" or the path of the one that
    // could not be.
    std::string open();

    // Where the images' definitions go as text: the header, or a split
    // form's source; for the assembler form, whose source is a few lines
    // written when its words are complete, nowhere (null).
    FILE* definitions() const;
    const std::string& definitions_path() const;

    // The assembler form's word files, for pictures of about expected bytes
    // of words in all. Throws std::bad_alloc.
    word_files& words(uint64_t expected);

    // Writes what is written last (a split form's header of declarations,
    // the assembler form's source) and puts every file in place: "" or the
    // path of the one that could not be written or placed; after a failure
    // none is placed but word files nobody names.
    std::string commit(const std::string& declarations);

    // The header form's header: its size so far, and, after a failure, its
    // first bytes put in place (data.h with the images before the failing
    // one); false if even that failed.
    uint64_t header_size() const { return header_.size(); }
    bool commit_first(uint64_t bytes);

private:
    std::string place_words();
    std::string write_source();

    output_names names_;
    data_form form_;
    bool uint32_words_, bytes_;
    std::string note_;
    output_file header_, source_, little_, big_;
    std::unique_ptr<text_sink> little_sink_, big_sink_;
    word_files words_;
};

#endif
