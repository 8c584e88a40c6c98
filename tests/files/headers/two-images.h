//
// Made with Vantrel by vantrel@example.org
//

const unsigned short int three_x = 3;
const unsigned short int three_y = 3;

const unsigned int three[9] = {
	0x952b9515, 0x952b9515, 0x952b9515,
	0x952b9515, 0x922d92cd, 0x952b9515,
	0x952b9515, 0x952b9515, 0x952b9515
};

const unsigned short int five_x = 5;
const unsigned short int five_y = 5;

const unsigned int five[25] = {
	0x4c544cff, 0x4c544cff, 0x4c544cff, 0x4c544cff, 0x4c544cff,
	0x4c544cff, 0x40eb40a6, 0x40eb40a6, 0x40eb40a6, 0x4c544cff,
	0x4c544cff, 0x40eb40a6, 0xb2abb200, 0x40eb40a6, 0x4c544cff,
	0x4c544cff, 0x40eb40a6, 0x40eb40a6, 0x40eb40a6, 0x4c544cff,
	0x4c544cff, 0x4c544cff, 0x4c544cff, 0x4c544cff, 0x4c544cff
};

