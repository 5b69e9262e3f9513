// quenvale-cli: converts the named files as one drop.
int main() { return 0; }
