#include "app/Startup.h"
#include "platform/gui/QtMessageBoxes.h"

int main(int argc, char** argv)
{
    wibblet::QtMessageBoxes boxes;
    return wibblet::RunProgram(argc, argv, boxes);
}
