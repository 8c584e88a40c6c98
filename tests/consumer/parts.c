/* Two C files and a C++ one include sprites.h, whose data sprites.c alone
 * defines: the program links only if the header declares without defining,
 * in C++ as in C. time.h, made from time.png, must not stand for the
 * standard <time.h>, which would leave time_t undeclared. */
#include <stdio.h>
#include <time.h>

#include "anim.ah"
#include "parts.h"
#include "sprites.h"
#include "time.h"

void print(const char* name, unsigned width, unsigned height, const unsigned int* words)
{
    printf("%s %ux%u", name, width, height);
    for (unsigned i = 0; i < width * height; ++i)
        printf(" %08x", words[i]);
    printf("\n");
}

int main(void)
{
    time_t now = time(0);
    if (now == (time_t)-1)
        return 1;
    print_logo();
    print_icon();
    print("time", img_time_x, img_time_y, img_time);
    print("anim", anim__x, anim__y, anim_);
    return 0;
}
