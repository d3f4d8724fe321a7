#include "app/Application.h"

int main(int argc, char** argv)
{
    return vx8::RunVx8(argc, argv);
}
