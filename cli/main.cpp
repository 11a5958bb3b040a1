#include "cli/qev_cli.h"

#include <clocale>
#include <cstdio>

int main(int argc, char** argv)
{
    // Every decimal text uses a point.
    setlocale(LC_NUMERIC, "C");
    return iRunQEV(argc, argv, stdout, stderr);
}
