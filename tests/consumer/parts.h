/* What the three files of parts have in common. */
#ifndef PARTS_H
#define PARTS_H

#ifdef __cplusplus
extern "C" {
#endif

void print(const char* name, unsigned width, unsigned height, const unsigned int* words);
void print_icon(void);
void print_logo(void);

#ifdef __cplusplus
}
#endif

#endif
