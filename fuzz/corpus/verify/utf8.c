/* 語    */
char *a = "語"; char *b = "a    b";
// 語\
int  x = u8'a';
