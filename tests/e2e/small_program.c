/* A Windows program of a few kilobytes for the end-to-end tests to run and check while it
   runs (the project's own programs are larger than the 5 MB a check takes). */
int main(void) { return 0; }
