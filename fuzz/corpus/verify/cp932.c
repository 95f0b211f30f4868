#include <stdio.h>

int  main(void)
{
    char c = '"';    /* a quote    */
    const char *s = "a    b\\";
    // •\
    printf(L"%s  %c\n",  s, c);
        return 0;
}
