// Stands in for a test whose sources are not all there yet; never built by default.
int main() { return 1; }
