#include "icons.h"
#include "parts.h"
#include "sprites.h" /* a second C file with it, unused */

void print_icon(void)
{
    print("icon", icon_x, icon_y, icon);
}
