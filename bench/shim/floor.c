/* The least a shim can cost: a static program that only execs the tool it is given. */
#include <unistd.h>

extern char** environ;

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    execve(argv[1], argv + 1, environ);
    return 126;
}
