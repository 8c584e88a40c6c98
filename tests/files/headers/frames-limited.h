//
// Made with Vantrel by vantrel@example.org
//

// Y, Cb, Y, Cr words: BT.601, limited range

const unsigned short int blink_x = 2;
const unsigned short int blink_y = 1;
const unsigned short int blink_frames = 2;
const unsigned int blink_delays[2] = {
	100, 50
};

const unsigned int blink[2][2] = {
{
	0x515a51f0, 0x29f0296e
},
{
	0xeb80eb80, 0x10801080
}
};

