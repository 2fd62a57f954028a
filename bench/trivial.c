/* The smallest Windows program: the floor of what starting any program under Wine costs. */
int main(void) { return 0; }
