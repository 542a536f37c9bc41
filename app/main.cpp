#include "app/startup.h"

int main(int /*argc*/, char** argv)
{
    return pd::app::RunProgram(argv[0]);
}
