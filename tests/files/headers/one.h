//
// Made with Vantrel by vantrel@example.org
//

const unsigned short int one_x = 1;
const unsigned short int one_y = 1;

const unsigned int one[1] = {
	0x1dff1d6b
};

