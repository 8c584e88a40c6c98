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

