// reserved_identifier: whether an identifier would clash with the language
// or with the C standard library.
#ifndef VANTREL_RESERVED_NAMES_H
#define VANTREL_RESERVED_NAMES_H

#include <string_view>

// True for a C23 or C++20 keyword, main, a macro the C or C++ compiler
// predefines, and every name a C17 standard header declares or defines at
// file scope. An array so named would not compile as C or as C++, or would
// not once the program includes that header before it.
bool reserved_identifier(std::string_view word);

#endif
