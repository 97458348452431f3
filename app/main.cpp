// app/main.cpp: the process entry. The program reads no command line.
#include "app/music_disk.h"

int main()
{
    return run_music_disk(nullptr, nullptr, nullptr, 0);
}
