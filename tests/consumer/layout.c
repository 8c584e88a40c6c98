/* The icon as bytes in a layout, one frame of an animation, from the header
 * the build made: its size, frames, delay, where its planes lie, and its
 * bytes. */
#include <stdio.h>

#include "icon.h"

int main(void)
{
    printf("icon %ux%u %u %lu %lu %lu %lu %lu", icon_x, icon_y, icon_frames, icon_delays[0], icon_stride, icon_cb_offset,
           icon_cr_offset, icon_chroma_stride);
    for (unsigned long i = 0; i < sizeof icon[0]; ++i)
        printf(" %02x", icon[0][i]);
    printf("\n");
    return 0;
}
