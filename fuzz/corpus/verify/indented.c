/*
 * A table of sizes, indented with spaces as an editor that expands tabs
 * leaves it: long enough that the check compares it sixteen bytes at a time.
 */
#define SIZE_SMALL      16      /* bytes */
#define SIZE_LARGE      4096    /* bytes */

struct entry {
    unsigned int        id;             /* key */
    const char         *name;           /* "a    b" stays as it is */
    unsigned short      flags;
};

static const struct entry table[] = {
    {   1,  "first  entry",     0x0001  },
    {   2,  "second\tentry",    0x0002  },      // a line comment
    {   3,  L"wide    one",     '\''    },
};

int lookup(int id)
{
    int     i;
    for (i = 0; i < 3; i++)
        if (table[i].id == id)          \
            return  i / 2;
    return  -1;
}
