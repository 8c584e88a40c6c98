// reserved_identifier: whether an identifier would clash with the language
// or with the C standard library.
#ifndef VANTREL_RESERVED_NAMES_H
#define VANTREL_RESERVED_NAMES_H

#include <string_view>

// True for a C23 or C++20 keyword, main, a macro the C or C++ standard has
// the compiler predefine, every name a C17 standard header declares or
// defines at file scope, the global namespaces of the C++ standard
// libraries (std, ...), and what common compilers predefine or take as
// keywords of their own (compiler_name). An array so named would not compile
// as C or as C++, or would not once the program includes such a header
// before it, or with such a compiler.
bool reserved_identifier(std::string_view word);

// The macros GCC, Clang and MSVC predefine (linux, unix, i386, WIN32,
// __GNUC__, _MSC_VER, ...) and their extension keywords (__int64,
// __thread, __is_same, ...); see compiler_names.cpp.
bool compiler_name(std::string_view word);

#endif
