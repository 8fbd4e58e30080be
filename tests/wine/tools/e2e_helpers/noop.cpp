// hotfix-noop.exe: does nothing and exits 0. What starting it costs is what starting any
// console child costs, before the child does any work of its own.
int main() { return 0; }
