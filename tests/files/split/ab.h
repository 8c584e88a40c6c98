//
// Made with Vantrel by vantrel@example.org
//

#ifndef VANTREL_AB_H
#define VANTREL_AB_H

#ifndef __INT_MAX__
#include <limits.h>
#endif
#if defined(__INT_MAX__) ? __INT_MAX__ != 0x7fffffff : UINT_MAX != 0xffffffff
#error "unsigned int is not 32 bits here: convert with vantrel --uint32"
#endif

#ifdef __cplusplus
extern "C" {
#endif

extern const unsigned short int ab_x;
extern const unsigned short int ab_y;
extern const unsigned int ab[4];

#ifdef __cplusplus
}
#endif

#endif
