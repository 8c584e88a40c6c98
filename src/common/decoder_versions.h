// The decoders both programs are built with, for --version: a picture's
// words depend on them, so a report names them.
#ifndef VANTREL_DECODER_VERSIONS_H
#define VANTREL_DECODER_VERSIONS_H

#include <string>

// "libpng 1.6.39, zlib 1.2.13, libjpeg-turbo 2.1.5, giflib 5.2.1": the
// versions of the libraries linked.
std::string decoder_versions();

#endif
