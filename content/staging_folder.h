// content/staging_folder.h: make-datas' staging folder, a fresh one of
// its own in the folder it writes into, where each file is written whole
// before it is moved into place. Main thread.
#pragma once
#include <string>

// Makes DIR/.make-datas.XXXXXX, a new folder no other run shares (only its
// owner may enter it, where the system has such modes). Its path, or "" with
// errno saying why.
std::string make_staging_folder(const std::string& dir);
