//
// Made with Vantrel by vantrel@example.org
//

// NV12 bytes: BT.601, full range

// blink: 1 rows of 2 bytes, then 1 rows of 2 chroma bytes, for each frame
const unsigned short int blink_x = 2;
const unsigned short int blink_y = 1;
const unsigned short int blink_frames = 2;
const unsigned long int blink_delays[2] = {
	100, 50
};
const unsigned long int blink_stride = 2;
const unsigned long int blink_cb_offset = 2;
const unsigned long int blink_cr_offset = 3;
const unsigned long int blink_chroma_stride = 2;

const unsigned char blink[2][4] = {
{
	0x4c, 0x1d,
	0xaa, 0xb5
},
{
	0xff, 0x00,
	0x80, 0x80
}
};

// p3: 3 rows of 3 bytes, then 2 rows of 4 chroma bytes, for each frame
const unsigned short int p3_x = 3;
const unsigned short int p3_y = 3;
const unsigned short int p3_frames = 1;
const unsigned long int p3_delays[1] = {
	0
};
const unsigned long int p3_stride = 3;
const unsigned long int p3_cb_offset = 9;
const unsigned long int p3_cr_offset = 10;
const unsigned long int p3_chroma_stride = 4;

const unsigned char p3[1][17] = {
{
	0x4c, 0x4c, 0xff,
	0x4c, 0x1d, 0x4c,
	0x96, 0x4c, 0x4c,
	0x80, 0xda, 0x6a, 0xc0,
	0x40, 0x8a, 0x55, 0xff
}
};

