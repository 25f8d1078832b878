// Stand-in for the registered OPC server's program: only its version
// resource matters (German translation 0407/04b0, FileVersion "5.1.3.7").
int main() { return 0; }
