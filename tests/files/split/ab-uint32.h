//
// Made with Vantrel by vantrel@example.org
//

#ifndef VANTREL_AB_H
#define VANTREL_AB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

extern const unsigned short int ab_x;
extern const unsigned short int ab_y;
extern const uint32_t ab[4];

#ifdef __cplusplus
}
#endif

#endif
