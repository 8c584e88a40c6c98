#include "parts.h"
#include "sprites.h"

void print_logo()
{
    print("logo", logo_x, logo_y, logo);
}
