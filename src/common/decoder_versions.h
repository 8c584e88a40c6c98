// The decoders both programs are built with, for --version: a picture's
// words depend on them, so a report names them.
#ifndef VANTREL_DECODER_VERSIONS_H
#define VANTREL_DECODER_VERSIONS_H

#include <string>

// "libpng 1.6.39, zlib 1.2.13": the versions the linked libraries report.
std::string decoder_versions();

#endif
