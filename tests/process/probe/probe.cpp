// Prints what the process was started with after its start-up steps: the
// glibc tunables, then each argument on a line of its own.
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    std::printf("tunables=%s\n", tunables ? tunables : "(none)");
    for (int i = 1; i < argc; ++i)
        std::printf("arg=%s\n", argv[i]);
    return 0;
}
