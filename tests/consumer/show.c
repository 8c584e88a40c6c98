/* Prints each picture's size and words, from the headers the build made. */
#include <stdio.h>

#ifdef COMBINED
#include "data.h"
#else
#include "icon.h"
#include "logo.h"
#endif

static void show(const char* name, unsigned width, unsigned height, const unsigned int* words)
{
    printf("%s %ux%u", name, width, height);
    for (unsigned i = 0; i < width * height; ++i)
        printf(" %08x", words[i]);
    printf("\n");
}

int main(void)
{
    show("logo", logo_x, logo_y, logo);
    show("icon", icon_x, icon_y, icon);
    return 0;
}
