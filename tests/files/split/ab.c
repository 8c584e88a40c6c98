//
// Made with Vantrel by vantrel@example.org
//

#include "ab.h"

const unsigned short int ab_x = 2;
const unsigned short int ab_y = 2;

const unsigned int ab[4] = {
	0xfe80fe80, 0x00800080,
	0x4c544cff, 0x1dff1d6b
};

