// A Windows program that only exits: the floor for start-up benchmarks.
int main() { return 0; }
