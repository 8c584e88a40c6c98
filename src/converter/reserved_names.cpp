// Names the generated declarations must not take.
//
// library_names holds what the C17 standard library's headers declare or
// define at file scope (ISO/IEC 9899:2018 clauses 7.2 to 7.31, with the
// bounds-checking interfaces of Annex K): functions, objects, macros,
// typedefs, enumeration constants, and struct tags. With them are the macros
// the compilers predefine (6.10.8, C++20's __cplusplus and __STDCPP_*, and
// the __STDC_IEC_60559_* that GCC 12 already defines in every mode), the
// preprocessor's own operators, NDEBUG and __STDC_WANT_LIB_EXT1__, which
// programs define to configure these headers, and the E*, LC_* and SIG*
// macros that glibc 2.36's <errno.h>, <locale.h> and <signal.h> define even
// in strict C17 mode, within the patterns the standard reserves for them.
// The list was cross-checked against glibc 2.36 and GCC 12 on Debian 12
// (macros from gcc -std=c17 -E -dM, declarations from clang's AST dump, for
// each of the 29 headers): the headers there have no other name outside the
// implementation's namespace. No listed name ends in _x or _y, so no image
// name is reserved only for the width and height it declares.
#include "reserved_names.h"

#include <algorithm>
#include <functional>

namespace {

// C23 and C++20 keywords, alternative tokens included.
constexpr std::string_view keywords[] = {
    "_Alignas", "_Alignof", "_Atomic", "_BitInt", "_Bool", "_Complex", "_Decimal128",
    "_Decimal32", "_Decimal64", "_Generic", "_Imaginary", "_Noreturn", "_Static_assert",
    "_Thread_local", "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor",
    "bool", "break", "case", "catch", "char", "char16_t", "char32_t", "char8_t", "class",
    "co_await", "co_return", "co_yield", "compl", "concept", "const", "const_cast",
    "consteval", "constexpr", "constinit", "continue", "decltype", "default", "delete", "do",
    "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false",
    "float", "for", "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace",
    "new", "noexcept", "not", "not_eq", "nullptr", "operator", "or", "or_eq", "private",
    "protected", "public", "register", "reinterpret_cast", "requires", "restrict", "return",
    "short", "signed", "sizeof", "static", "static_assert", "static_cast", "struct",
    "switch", "template", "this", "thread_local", "throw", "true", "try", "typedef",
    "typeid", "typename", "typeof", "typeof_unqual", "union", "unsigned", "using",
    "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq",
};

constexpr std::string_view library_names[] = {
    "ATOMIC_BOOL_LOCK_FREE", "ATOMIC_CHAR16_T_LOCK_FREE", "ATOMIC_CHAR32_T_LOCK_FREE", "ATOMIC_CHAR_LOCK_FREE",
    "ATOMIC_FLAG_INIT", "ATOMIC_INT_LOCK_FREE", "ATOMIC_LLONG_LOCK_FREE", "ATOMIC_LONG_LOCK_FREE",
    "ATOMIC_POINTER_LOCK_FREE", "ATOMIC_SHORT_LOCK_FREE", "ATOMIC_VAR_INIT", "ATOMIC_WCHAR_T_LOCK_FREE", "BUFSIZ",
    "CHAR_BIT", "CHAR_MAX", "CHAR_MIN", "CLOCKS_PER_SEC", "CMPLX", "CMPLXF", "CMPLXL", "DBL_DECIMAL_DIG", "DBL_DIG",
    "DBL_EPSILON", "DBL_HAS_SUBNORM", "DBL_MANT_DIG", "DBL_MAX", "DBL_MAX_10_EXP", "DBL_MAX_EXP", "DBL_MIN",
    "DBL_MIN_10_EXP", "DBL_MIN_EXP", "DBL_TRUE_MIN", "DECIMAL_DIG", "E2BIG", "EACCES", "EADDRINUSE",
    "EADDRNOTAVAIL", "EADV", "EAFNOSUPPORT", "EAGAIN", "EALREADY", "EBADE", "EBADF", "EBADFD", "EBADMSG", "EBADR",
    "EBADRQC", "EBADSLT", "EBFONT", "EBUSY", "ECANCELED", "ECHILD", "ECHRNG", "ECOMM", "ECONNABORTED",
    "ECONNREFUSED", "ECONNRESET", "EDEADLK", "EDEADLOCK", "EDESTADDRREQ", "EDOM", "EDOTDOT", "EDQUOT", "EEXIST",
    "EFAULT", "EFBIG", "EHOSTDOWN", "EHOSTUNREACH", "EHWPOISON", "EIDRM", "EILSEQ", "EINPROGRESS", "EINTR",
    "EINVAL", "EIO", "EISCONN", "EISDIR", "EISNAM", "EKEYEXPIRED", "EKEYREJECTED", "EKEYREVOKED", "EL2HLT",
    "EL2NSYNC", "EL3HLT", "EL3RST", "ELIBACC", "ELIBBAD", "ELIBEXEC", "ELIBMAX", "ELIBSCN", "ELNRNG", "ELOOP",
    "EMEDIUMTYPE", "EMFILE", "EMLINK", "EMSGSIZE", "EMULTIHOP", "ENAMETOOLONG", "ENAVAIL", "ENETDOWN", "ENETRESET",
    "ENETUNREACH", "ENFILE", "ENOANO", "ENOBUFS", "ENOCSI", "ENODATA", "ENODEV", "ENOENT", "ENOEXEC", "ENOKEY",
    "ENOLCK", "ENOLINK", "ENOMEDIUM", "ENOMEM", "ENOMSG", "ENONET", "ENOPKG", "ENOPROTOOPT", "ENOSPC", "ENOSR",
    "ENOSTR", "ENOSYS", "ENOTBLK", "ENOTCONN", "ENOTDIR", "ENOTEMPTY", "ENOTNAM", "ENOTRECOVERABLE", "ENOTSOCK",
    "ENOTSUP", "ENOTTY", "ENOTUNIQ", "ENXIO", "EOF", "EOPNOTSUPP", "EOVERFLOW", "EOWNERDEAD", "EPERM",
    "EPFNOSUPPORT", "EPIPE", "EPROTO", "EPROTONOSUPPORT", "EPROTOTYPE", "ERANGE", "EREMCHG", "EREMOTE", "EREMOTEIO",
    "ERESTART", "ERFKILL", "EROFS", "ESHUTDOWN", "ESOCKTNOSUPPORT", "ESPIPE", "ESRCH", "ESRMNT", "ESTALE",
    "ESTRPIPE", "ETIME", "ETIMEDOUT", "ETOOMANYREFS", "ETXTBSY", "EUCLEAN", "EUNATCH", "EUSERS", "EWOULDBLOCK",
    "EXDEV", "EXFULL", "EXIT_FAILURE", "EXIT_SUCCESS", "FE_ALL_EXCEPT", "FE_DFL_ENV", "FE_DIVBYZERO", "FE_DOWNWARD",
    "FE_INEXACT", "FE_INVALID", "FE_OVERFLOW", "FE_TONEAREST", "FE_TOWARDZERO", "FE_UNDERFLOW", "FE_UPWARD", "FILE",
    "FILENAME_MAX", "FLT_DECIMAL_DIG", "FLT_DIG", "FLT_EPSILON", "FLT_EVAL_METHOD", "FLT_HAS_SUBNORM",
    "FLT_MANT_DIG", "FLT_MAX", "FLT_MAX_10_EXP", "FLT_MAX_EXP", "FLT_MIN", "FLT_MIN_10_EXP", "FLT_MIN_EXP",
    "FLT_RADIX", "FLT_ROUNDS", "FLT_TRUE_MIN", "FOPEN_MAX", "FP_FAST_FMA", "FP_FAST_FMAF", "FP_FAST_FMAL",
    "FP_ILOGB0", "FP_ILOGBNAN", "FP_INFINITE", "FP_NAN", "FP_NORMAL", "FP_SUBNORMAL", "FP_ZERO", "HUGE_VAL",
    "HUGE_VALF", "HUGE_VALL", "I", "INFINITY", "INT16_C", "INT16_MAX", "INT16_MIN", "INT32_C", "INT32_MAX",
    "INT32_MIN", "INT64_C", "INT64_MAX", "INT64_MIN", "INT8_C", "INT8_MAX", "INT8_MIN", "INTMAX_C", "INTMAX_MAX",
    "INTMAX_MIN", "INTPTR_MAX", "INTPTR_MIN", "INT_FAST16_MAX", "INT_FAST16_MIN", "INT_FAST32_MAX",
    "INT_FAST32_MIN", "INT_FAST64_MAX", "INT_FAST64_MIN", "INT_FAST8_MAX", "INT_FAST8_MIN", "INT_LEAST16_MAX",
    "INT_LEAST16_MIN", "INT_LEAST32_MAX", "INT_LEAST32_MIN", "INT_LEAST64_MAX", "INT_LEAST64_MIN", "INT_LEAST8_MAX",
    "INT_LEAST8_MIN", "INT_MAX", "INT_MIN", "LC_ADDRESS", "LC_ALL", "LC_COLLATE", "LC_CTYPE", "LC_IDENTIFICATION",
    "LC_MEASUREMENT", "LC_MESSAGES", "LC_MONETARY", "LC_NAME", "LC_NUMERIC", "LC_PAPER", "LC_TELEPHONE", "LC_TIME",
    "LDBL_DECIMAL_DIG", "LDBL_DIG", "LDBL_EPSILON", "LDBL_HAS_SUBNORM", "LDBL_MANT_DIG", "LDBL_MAX",
    "LDBL_MAX_10_EXP", "LDBL_MAX_EXP", "LDBL_MIN", "LDBL_MIN_10_EXP", "LDBL_MIN_EXP", "LDBL_TRUE_MIN", "LLONG_MAX",
    "LLONG_MIN", "LONG_MAX", "LONG_MIN", "L_tmpnam", "L_tmpnam_s", "MATH_ERREXCEPT", "MATH_ERRNO", "MB_CUR_MAX",
    "MB_LEN_MAX", "NAN", "NDEBUG", "NULL", "ONCE_FLAG_INIT", "PRIX16", "PRIX32", "PRIX64", "PRIX8", "PRIXFAST16",
    "PRIXFAST32", "PRIXFAST64", "PRIXFAST8", "PRIXLEAST16", "PRIXLEAST32", "PRIXLEAST64", "PRIXLEAST8", "PRIXMAX",
    "PRIXPTR", "PRId16", "PRId32", "PRId64", "PRId8", "PRIdFAST16", "PRIdFAST32", "PRIdFAST64", "PRIdFAST8",
    "PRIdLEAST16", "PRIdLEAST32", "PRIdLEAST64", "PRIdLEAST8", "PRIdMAX", "PRIdPTR", "PRIi16", "PRIi32", "PRIi64",
    "PRIi8", "PRIiFAST16", "PRIiFAST32", "PRIiFAST64", "PRIiFAST8", "PRIiLEAST16", "PRIiLEAST32", "PRIiLEAST64",
    "PRIiLEAST8", "PRIiMAX", "PRIiPTR", "PRIo16", "PRIo32", "PRIo64", "PRIo8", "PRIoFAST16", "PRIoFAST32",
    "PRIoFAST64", "PRIoFAST8", "PRIoLEAST16", "PRIoLEAST32", "PRIoLEAST64", "PRIoLEAST8", "PRIoMAX", "PRIoPTR",
    "PRIu16", "PRIu32", "PRIu64", "PRIu8", "PRIuFAST16", "PRIuFAST32", "PRIuFAST64", "PRIuFAST8", "PRIuLEAST16",
    "PRIuLEAST32", "PRIuLEAST64", "PRIuLEAST8", "PRIuMAX", "PRIuPTR", "PRIx16", "PRIx32", "PRIx64", "PRIx8",
    "PRIxFAST16", "PRIxFAST32", "PRIxFAST64", "PRIxFAST8", "PRIxLEAST16", "PRIxLEAST32", "PRIxLEAST64",
    "PRIxLEAST8", "PRIxMAX", "PRIxPTR", "PTRDIFF_MAX", "PTRDIFF_MIN", "RAND_MAX", "RSIZE_MAX", "SCHAR_MAX",
    "SCHAR_MIN", "SCNd16", "SCNd32", "SCNd64", "SCNd8", "SCNdFAST16", "SCNdFAST32", "SCNdFAST64", "SCNdFAST8",
    "SCNdLEAST16", "SCNdLEAST32", "SCNdLEAST64", "SCNdLEAST8", "SCNdMAX", "SCNdPTR", "SCNi16", "SCNi32", "SCNi64",
    "SCNi8", "SCNiFAST16", "SCNiFAST32", "SCNiFAST64", "SCNiFAST8", "SCNiLEAST16", "SCNiLEAST32", "SCNiLEAST64",
    "SCNiLEAST8", "SCNiMAX", "SCNiPTR", "SCNo16", "SCNo32", "SCNo64", "SCNo8", "SCNoFAST16", "SCNoFAST32",
    "SCNoFAST64", "SCNoFAST8", "SCNoLEAST16", "SCNoLEAST32", "SCNoLEAST64", "SCNoLEAST8", "SCNoMAX", "SCNoPTR",
    "SCNu16", "SCNu32", "SCNu64", "SCNu8", "SCNuFAST16", "SCNuFAST32", "SCNuFAST64", "SCNuFAST8", "SCNuLEAST16",
    "SCNuLEAST32", "SCNuLEAST64", "SCNuLEAST8", "SCNuMAX", "SCNuPTR", "SCNx16", "SCNx32", "SCNx64", "SCNx8",
    "SCNxFAST16", "SCNxFAST32", "SCNxFAST64", "SCNxFAST8", "SCNxLEAST16", "SCNxLEAST32", "SCNxLEAST64",
    "SCNxLEAST8", "SCNxMAX", "SCNxPTR", "SEEK_CUR", "SEEK_END", "SEEK_SET", "SHRT_MAX", "SHRT_MIN", "SIGABRT",
    "SIGALRM", "SIGBUS", "SIGCHLD", "SIGCLD", "SIGCONT", "SIGFPE", "SIGHUP", "SIGILL", "SIGINT", "SIGIO", "SIGIOT",
    "SIGKILL", "SIGPIPE", "SIGPOLL", "SIGPROF", "SIGPWR", "SIGQUIT", "SIGRTMAX", "SIGRTMIN", "SIGSEGV", "SIGSTKFLT",
    "SIGSTOP", "SIGSYS", "SIGTERM", "SIGTRAP", "SIGTSTP", "SIGTTIN", "SIGTTOU", "SIGURG", "SIGUSR1", "SIGUSR2",
    "SIGVTALRM", "SIGWINCH", "SIGXCPU", "SIGXFSZ", "SIG_ATOMIC_MAX", "SIG_ATOMIC_MIN", "SIG_DFL", "SIG_ERR",
    "SIG_IGN", "SIZE_MAX", "TIME_UTC", "TMP_MAX", "TMP_MAX_S", "TSS_DTOR_ITERATIONS", "UCHAR_MAX", "UINT16_C",
    "UINT16_MAX", "UINT32_C", "UINT32_MAX", "UINT64_C", "UINT64_MAX", "UINT8_C", "UINT8_MAX", "UINTMAX_C",
    "UINTMAX_MAX", "UINTPTR_MAX", "UINT_FAST16_MAX", "UINT_FAST32_MAX", "UINT_FAST64_MAX", "UINT_FAST8_MAX",
    "UINT_LEAST16_MAX", "UINT_LEAST32_MAX", "UINT_LEAST64_MAX", "UINT_LEAST8_MAX", "UINT_MAX", "ULLONG_MAX",
    "ULONG_MAX", "USHRT_MAX", "WCHAR_MAX", "WCHAR_MIN", "WEOF", "WINT_MAX", "WINT_MIN", "_Complex_I", "_Exit",
    "_IOFBF", "_IOLBF", "_IONBF", "_Imaginary_I", "_Pragma", "__DATE__", "__FILE__", "__LINE__",
    "__STDCPP_DEFAULT_NEW_ALIGNMENT__", "__STDCPP_STRICT_POINTER_SAFETY__", "__STDCPP_THREADS__",
    "__STDC_ANALYZABLE__", "__STDC_HOSTED__", "__STDC_IEC_559_COMPLEX__", "__STDC_IEC_559__",
    "__STDC_IEC_60559_BFP__", "__STDC_IEC_60559_COMPLEX__", "__STDC_ISO_10646__", "__STDC_LIB_EXT1__",
    "__STDC_MB_MIGHT_NEQ_WC__", "__STDC_NO_ATOMICS__", "__STDC_NO_COMPLEX__", "__STDC_NO_THREADS__",
    "__STDC_NO_VLA__", "__STDC_UTF_16__", "__STDC_UTF_32__", "__STDC_VERSION__", "__STDC_WANT_LIB_EXT1__",
    "__STDC__", "__TIME__", "__VA_ARGS__", "__VA_OPT__", "__alignas_is_defined", "__alignof_is_defined",
    "__bool_true_false_are_defined", "__cplusplus", "__has_cpp_attribute", "__has_include", "abort",
    "abort_handler_s", "abs", "acos", "acosf", "acosh", "acoshf", "acoshl", "acosl", "alignas", "aligned_alloc",
    "alignof", "and", "and_eq", "asctime", "asctime_s", "asin", "asinf", "asinh", "asinhf", "asinhl", "asinl",
    "assert", "at_quick_exit", "atan", "atan2", "atan2f", "atan2l", "atanf", "atanh", "atanhf", "atanhl", "atanl",
    "atexit", "atof", "atoi", "atol", "atoll", "atomic_bool", "atomic_char", "atomic_char16_t", "atomic_char32_t",
    "atomic_compare_exchange_strong", "atomic_compare_exchange_strong_explicit", "atomic_compare_exchange_weak",
    "atomic_compare_exchange_weak_explicit", "atomic_exchange", "atomic_exchange_explicit", "atomic_fetch_add",
    "atomic_fetch_add_explicit", "atomic_fetch_and", "atomic_fetch_and_explicit", "atomic_fetch_or",
    "atomic_fetch_or_explicit", "atomic_fetch_sub", "atomic_fetch_sub_explicit", "atomic_fetch_xor",
    "atomic_fetch_xor_explicit", "atomic_flag", "atomic_flag_clear", "atomic_flag_clear_explicit",
    "atomic_flag_test_and_set", "atomic_flag_test_and_set_explicit", "atomic_init", "atomic_int",
    "atomic_int_fast16_t", "atomic_int_fast32_t", "atomic_int_fast64_t", "atomic_int_fast8_t",
    "atomic_int_least16_t", "atomic_int_least32_t", "atomic_int_least64_t", "atomic_int_least8_t",
    "atomic_intmax_t", "atomic_intptr_t", "atomic_is_lock_free", "atomic_llong", "atomic_load",
    "atomic_load_explicit", "atomic_long", "atomic_ptrdiff_t", "atomic_schar", "atomic_short",
    "atomic_signal_fence", "atomic_size_t", "atomic_store", "atomic_store_explicit", "atomic_thread_fence",
    "atomic_uchar", "atomic_uint", "atomic_uint_fast16_t", "atomic_uint_fast32_t", "atomic_uint_fast64_t",
    "atomic_uint_fast8_t", "atomic_uint_least16_t", "atomic_uint_least32_t", "atomic_uint_least64_t",
    "atomic_uint_least8_t", "atomic_uintmax_t", "atomic_uintptr_t", "atomic_ullong", "atomic_ulong",
    "atomic_ushort", "atomic_wchar_t", "bitand", "bitor", "bool", "bsearch", "bsearch_s", "btowc", "c16rtomb",
    "c32rtomb", "cabs", "cabsf", "cabsl", "cacos", "cacosf", "cacosh", "cacoshf", "cacoshl", "cacosl", "call_once",
    "calloc", "carg", "cargf", "cargl", "casin", "casinf", "casinh", "casinhf", "casinhl", "casinl", "catan",
    "catanf", "catanh", "catanhf", "catanhl", "catanl", "cbrt", "cbrtf", "cbrtl", "ccos", "ccosf", "ccosh",
    "ccoshf", "ccoshl", "ccosl", "ceil", "ceilf", "ceill", "cexp", "cexpf", "cexpl", "char16_t", "char32_t",
    "cimag", "cimagf", "cimagl", "clearerr", "clock", "clock_t", "clog", "clogf", "clogl", "cnd_broadcast",
    "cnd_destroy", "cnd_init", "cnd_signal", "cnd_t", "cnd_timedwait", "cnd_wait", "compl", "complex", "conj",
    "conjf", "conjl", "constraint_handler_t", "copysign", "copysignf", "copysignl", "cos", "cosf", "cosh", "coshf",
    "coshl", "cosl", "cpow", "cpowf", "cpowl", "cproj", "cprojf", "cprojl", "creal", "crealf", "creall", "csin",
    "csinf", "csinh", "csinhf", "csinhl", "csinl", "csqrt", "csqrtf", "csqrtl", "ctan", "ctanf", "ctanh", "ctanhf",
    "ctanhl", "ctanl", "ctime", "ctime_s", "difftime", "div", "div_t", "double_t", "erf", "erfc", "erfcf", "erfcl",
    "erff", "erfl", "errno", "errno_t", "exit", "exp", "exp2", "exp2f", "exp2l", "expf", "expl", "expm1", "expm1f",
    "expm1l", "fabs", "fabsf", "fabsl", "false", "fclose", "fdim", "fdimf", "fdiml", "feclearexcept", "fegetenv",
    "fegetexceptflag", "fegetround", "feholdexcept", "fenv_t", "feof", "feraiseexcept", "ferror", "fesetenv",
    "fesetexceptflag", "fesetround", "fetestexcept", "feupdateenv", "fexcept_t", "fflush", "fgetc", "fgetpos",
    "fgets", "fgetwc", "fgetws", "float_t", "floor", "floorf", "floorl", "fma", "fmaf", "fmal", "fmax", "fmaxf",
    "fmaxl", "fmin", "fminf", "fminl", "fmod", "fmodf", "fmodl", "fopen", "fopen_s", "fpclassify", "fpos_t",
    "fprintf", "fprintf_s", "fputc", "fputs", "fputwc", "fputws", "fread", "free", "freopen", "freopen_s", "frexp",
    "frexpf", "frexpl", "fscanf", "fscanf_s", "fseek", "fsetpos", "ftell", "fwide", "fwprintf", "fwprintf_s",
    "fwrite", "fwscanf", "fwscanf_s", "getc", "getchar", "getenv", "getenv_s", "gets_s", "getwc", "getwchar",
    "gmtime", "gmtime_s", "hypot", "hypotf", "hypotl", "ignore_handler_s", "ilogb", "ilogbf", "ilogbl", "imaginary",
    "imaxabs", "imaxdiv", "imaxdiv_t", "int16_t", "int32_t", "int64_t", "int8_t", "int_fast16_t", "int_fast32_t",
    "int_fast64_t", "int_fast8_t", "int_least16_t", "int_least32_t", "int_least64_t", "int_least8_t", "intmax_t",
    "intptr_t", "isalnum", "isalpha", "isblank", "iscntrl", "isdigit", "isfinite", "isgraph", "isgreater",
    "isgreaterequal", "isinf", "isless", "islessequal", "islessgreater", "islower", "isnan", "isnormal", "isprint",
    "ispunct", "isspace", "isunordered", "isupper", "iswalnum", "iswalpha", "iswblank", "iswcntrl", "iswctype",
    "iswdigit", "iswgraph", "iswlower", "iswprint", "iswpunct", "iswspace", "iswupper", "iswxdigit", "isxdigit",
    "jmp_buf", "kill_dependency", "labs", "lconv", "ldexp", "ldexpf", "ldexpl", "ldiv", "ldiv_t", "lgamma",
    "lgammaf", "lgammal", "llabs", "lldiv", "lldiv_t", "llrint", "llrintf", "llrintl", "llround", "llroundf",
    "llroundl", "localeconv", "localtime", "localtime_s", "log", "log10", "log10f", "log10l", "log1p", "log1pf",
    "log1pl", "log2", "log2f", "log2l", "logb", "logbf", "logbl", "logf", "logl", "longjmp", "lrint", "lrintf",
    "lrintl", "lround", "lroundf", "lroundl", "malloc", "math_errhandling", "max_align_t", "mblen", "mbrlen",
    "mbrtoc16", "mbrtoc32", "mbrtowc", "mbsinit", "mbsrtowcs", "mbsrtowcs_s", "mbstate_t", "mbstowcs", "mbstowcs_s",
    "mbtowc", "memchr", "memcmp", "memcpy", "memcpy_s", "memmove", "memmove_s", "memory_order",
    "memory_order_acq_rel", "memory_order_acquire", "memory_order_consume", "memory_order_relaxed",
    "memory_order_release", "memory_order_seq_cst", "memset", "memset_s", "mktime", "modf", "modff", "modfl",
    "mtx_destroy", "mtx_init", "mtx_lock", "mtx_plain", "mtx_recursive", "mtx_t", "mtx_timed", "mtx_timedlock",
    "mtx_trylock", "mtx_unlock", "nan", "nanf", "nanl", "nearbyint", "nearbyintf", "nearbyintl", "nextafter",
    "nextafterf", "nextafterl", "nexttoward", "nexttowardf", "nexttowardl", "noreturn", "not", "not_eq", "offsetof",
    "once_flag", "or", "or_eq", "perror", "pow", "powf", "powl", "printf", "printf_s", "ptrdiff_t", "putc",
    "putchar", "puts", "putwc", "putwchar", "qsort", "qsort_s", "quick_exit", "raise", "rand", "realloc",
    "remainder", "remainderf", "remainderl", "remove", "remquo", "remquof", "remquol", "rename", "rewind", "rint",
    "rintf", "rintl", "round", "roundf", "roundl", "rsize_t", "scalbln", "scalblnf", "scalblnl", "scalbn",
    "scalbnf", "scalbnl", "scanf", "scanf_s", "set_constraint_handler_s", "setbuf", "setjmp", "setlocale",
    "setvbuf", "sig_atomic_t", "signal", "signbit", "sin", "sinf", "sinh", "sinhf", "sinhl", "sinl", "size_t",
    "snprintf", "snprintf_s", "snwprintf_s", "sprintf", "sprintf_s", "sqrt", "sqrtf", "sqrtl", "srand", "sscanf",
    "sscanf_s", "static_assert", "stderr", "stdin", "stdout", "strcat", "strcat_s", "strchr", "strcmp", "strcoll",
    "strcpy", "strcpy_s", "strcspn", "strerror", "strerror_s", "strerrorlen_s", "strftime", "strlen", "strncat",
    "strncat_s", "strncmp", "strncpy", "strncpy_s", "strnlen_s", "strpbrk", "strrchr", "strspn", "strstr", "strtod",
    "strtof", "strtoimax", "strtok", "strtok_s", "strtol", "strtold", "strtoll", "strtoul", "strtoull", "strtoumax",
    "strxfrm", "swprintf", "swprintf_s", "swscanf", "swscanf_s", "system", "tan", "tanf", "tanh", "tanhf", "tanhl",
    "tanl", "tgamma", "tgammaf", "tgammal", "thrd_busy", "thrd_create", "thrd_current", "thrd_detach", "thrd_equal",
    "thrd_error", "thrd_exit", "thrd_join", "thrd_nomem", "thrd_sleep", "thrd_start_t", "thrd_success", "thrd_t",
    "thrd_timedout", "thrd_yield", "thread_local", "time", "time_t", "timespec", "timespec_get", "tm", "tmpfile",
    "tmpfile_s", "tmpnam", "tmpnam_s", "tolower", "toupper", "towctrans", "towlower", "towupper", "true", "trunc",
    "truncf", "truncl", "tss_create", "tss_delete", "tss_dtor_t", "tss_get", "tss_set", "tss_t", "uint16_t",
    "uint32_t", "uint64_t", "uint8_t", "uint_fast16_t", "uint_fast32_t", "uint_fast64_t", "uint_fast8_t",
    "uint_least16_t", "uint_least32_t", "uint_least64_t", "uint_least8_t", "uintmax_t", "uintptr_t", "ungetc",
    "ungetwc", "va_arg", "va_copy", "va_end", "va_list", "va_start", "vfprintf", "vfprintf_s", "vfscanf",
    "vfscanf_s", "vfwprintf", "vfwprintf_s", "vfwscanf", "vfwscanf_s", "vprintf", "vprintf_s", "vscanf", "vscanf_s",
    "vsnprintf", "vsnprintf_s", "vsnwprintf_s", "vsprintf", "vsprintf_s", "vsscanf", "vsscanf_s", "vswprintf",
    "vswprintf_s", "vswscanf", "vswscanf_s", "vwprintf", "vwprintf_s", "vwscanf", "vwscanf_s", "wchar_t", "wcrtomb",
    "wcrtomb_s", "wcscat", "wcscat_s", "wcschr", "wcscmp", "wcscoll", "wcscpy", "wcscpy_s", "wcscspn", "wcsftime",
    "wcslen", "wcsncat", "wcsncat_s", "wcsncmp", "wcsncpy", "wcsncpy_s", "wcsnlen_s", "wcspbrk", "wcsrchr",
    "wcsrtombs", "wcsrtombs_s", "wcsspn", "wcsstr", "wcstod", "wcstof", "wcstoimax", "wcstok", "wcstok_s", "wcstol",
    "wcstold", "wcstoll", "wcstombs", "wcstombs_s", "wcstoul", "wcstoull", "wcstoumax", "wcsxfrm", "wctob",
    "wctomb", "wctomb_s", "wctrans", "wctrans_t", "wctype", "wctype_t", "wint_t", "wmemchr", "wmemcmp", "wmemcpy",
    "wmemcpy_s", "wmemmove", "wmemmove_s", "wmemset", "wprintf", "wprintf_s", "wscanf", "wscanf_s", "xor", "xor_eq",
};

// Namespaces the C++ standard libraries declare at global scope, which a
// global array of the same name clashes with once any standard header is
// included: libstdc++'s, libc++'s and MSVC's.
constexpr std::string_view namespaces[] = {
    "__cxxabiv1", "__gnu_cxx", "__gnu_debug", "__gnu_parallel", "__pstl", "abi", "std", "stdext",
};

// The binary search needs each table in strictly ascending byte order.
constexpr bool ascending(const auto& table)
{
    return std::ranges::adjacent_find(table, std::greater_equal<>{}) == std::ranges::end(table);
}
static_assert(ascending(keywords) && ascending(library_names) && ascending(namespaces));

}  // namespace

bool reserved_identifier(std::string_view word)
{
    // C++ forbids a global variable named main.
    // The compilers have hundreds of __builtin_ functions, and add more.
    return word == "main" || word.starts_with("__builtin_") || std::ranges::binary_search(keywords, word) ||
           std::ranges::binary_search(library_names, word) || std::ranges::binary_search(namespaces, word) ||
           compiler_name(word);
}
