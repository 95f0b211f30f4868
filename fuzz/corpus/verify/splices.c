$/\
* spliced    opener *\
/ int    y;    z = "a\    b";
#error don't    stop
'\''    "x\"    "
