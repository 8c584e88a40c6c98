// The standard streams of both programs: what a program started with one of
// them closed does first, and how its messages decide its exit status.
#ifndef VANTREL_CONSOLE_H
#define VANTREL_CONSOLE_H

// A program started with a standard stream closed would hand that
// descriptor to the first file it opens, and its messages would then go
// into that file. The null device takes its place first.
void open_standard_streams();

// A program's start and end: the standard streams opened, the signals that
// remove a half-written file caught (output_file.h), body run, memory that
// runs out anywhere in it reported as "error: out of memory", and the exit
// status decided (exit_status). The only place either program decides it.
int run_program(int argc, char** argv, bool (*body)(int argc, char** argv));

// Progress lines ("Loading logo.png", "Writing logo.h", "Done") are printed
// unless --quiet asked for error lines alone.
void show_progress(bool shown);
bool progress_shown();
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void progress(const char* format, ...);

// The exit status of a run that ended with ok: 0 or 1, and 1 when its
// messages could not all be written to standard output ("error: can't
// write standard output" on standard error then), as for any tool whose
// output another program reads.
int exit_status(bool ok);

#endif
