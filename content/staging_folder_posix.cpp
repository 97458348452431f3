// content/staging_folder_posix.cpp: the staging folder made by mkdtemp,
// mode 0700. Main thread.
#include "content/staging_folder.h"

#include <cstdlib>

std::string make_staging_folder(const std::string& dir)
{
    std::string folder = dir + "/.make-datas.XXXXXX";
    return mkdtemp(folder.data()) ? folder : std::string();
}
